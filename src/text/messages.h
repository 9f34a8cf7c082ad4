// Every text the program shows or writes, in one place so they are easy to check and to
// translate. Written here in UTF-8 for readability and held as GBK bytes, as every text inside
// the program is.
#pragma once

#include "text/encoding.h"
#include "text/gbk_text.h"

namespace tavrin::msg {

using text::Text;

inline const Text kVersion = "v2.0 beta1";
inline const Text kProgramTitle = text::utf8ToGbk("Tavrin外链小工具 v2.0 beta1");
inline const Text kVersionLabelPrefix = text::utf8ToGbk("当前版本：");
inline const Text kStatusInitial = text::utf8ToGbk("当前状态：软件初始化成功....");
inline const Text kQuestionTitle = text::utf8ToGbk("Tavrin提示");
inline const Text kAskKeepRunning = text::utf8ToGbk("是否继续运行本软件？");
inline const Text kTrayTipContact = text::utf8ToGbk("使用交流：");
// Appended to the maker's host when the program sends the user to the maker's site.
inline const Text kSiteQuery = "/?qvmt_link";

// Marks of the 成功 column.
inline const Text kMarkPending = text::utf8ToGbk("？");
inline const Text kMarkWorking = text::utf8ToGbk("---》");
inline const Text kMarkSuccess = text::utf8ToGbk("√");
inline const Text kMarkFailure = text::utf8ToGbk("×");
// Not checked: the proxies could not carry the row (the full-width hyphen-minus).
inline const Text kMarkNotChecked = text::utf8ToGbk("－");

// Template files.
inline const Text kPlaceholder = "{$url}";
inline const Text kFormatMarker = text::utf8ToGbk("格式如：");
inline const Text kTextFileFilter = text::utf8ToGbk("*.txt(文本文件)|*.txt");
// 导入网址's dialog: the library and the lists of other tools (UTF-8 text, JSON) it also reads.
inline const Text kImportFileFilter = text::utf8ToGbk(
    "*.txt *.json(网址列表)|*.txt *.json|*.txt(文本文件)|*.txt|*.json(JSON)|*.json|所有文件|*");
inline const Text kLibraryFileName = "url.txt";

// Status line texts of the library.
inline const Text kImported = text::utf8ToGbk("导入：");
inline const Text kUrlsTotal = text::utf8ToGbk("个网址，共：");
inline const Text kUrls = text::utf8ToGbk("个网址");
inline const Text kInsertedOne = text::utf8ToGbk("插入1个网址，共：");
inline const Text kCleared = text::utf8ToGbk("清空了共：");
inline const Text kSaveFailed = text::utf8ToGbk("保存失败，原文件未改动：");
// Whole sentences with slots: {N} for a number, {PATH} for a file name.
inline const Text kNumberSlot = "{N}";
inline const Text kPathSlot = "{PATH}";
inline const Text kDeletedOne = text::utf8ToGbk("删除1个网址，共：{N}个网址");
inline const Text kSaved = text::utf8ToGbk("已保存{N}个网址到：{PATH}");
// Asked before a save that would leave an empty file in place of whatever the file held.
inline const Text kAskSaveEmpty = text::utf8ToGbk("是否保存空文件？");
inline const Text kImportTooLarge = text::utf8ToGbk("导入失败：文件太大（超过256MB）：");
inline const Text kImportNotText = text::utf8ToGbk("导入失败：不是文本文件：");
inline const Text kImportTooManyEntries = text::utf8ToGbk("导入失败：网址太多（超过100万个）：");
// "导入：N个网址，跳过M个，共：T个网址" when templates of a list could not be used.
inline const Text kUrlsSkipped = text::utf8ToGbk("个网址，跳过");
inline const Text kSkippedTotal = text::utf8ToGbk("个，共：");
// "导入失败：JSON格式错误（第L行第C列）：FILE".
inline const Text kImportBadJson = text::utf8ToGbk("导入失败：JSON格式错误（第");
inline const Text kImportBadJsonLine = text::utf8ToGbk("行第");
inline const Text kImportBadJsonColumn = text::utf8ToGbk("列）：");
inline const Text kEditUrlTitle = text::utf8ToGbk("修改网址");
inline const Text kEditUrlPrompt = text::utf8ToGbk("查询网址：");

// Status line texts of a submission pass.
inline const Text kSubmitting = text::utf8ToGbk("当前提交第");
inline const Text kSubmittingUrl = text::utf8ToGbk("个网址：");
inline const Text kAllSubmitted = text::utf8ToGbk("全部提交完成！");
inline const Text kStoppedAll = text::utf8ToGbk("成功停止了全部线程，点击开始提交按钮重新提交！");
inline const Text kBadThreadCount = text::utf8ToGbk("线程数必须在1到500之间，请修改后再开始提交！");
// A pass or 提交网址 without a host in the address box: every page would be asked about nothing.
inline const Text kNeedSiteAddress = text::utf8ToGbk("请先填写网址！");
// Between the passes of 循环提交: the pass that completed, counted from 1 for the pass started
// by hand.
inline const Text kRoundCompleted = text::utf8ToGbk("第{N}轮完成");

// What a check found, shown over a row's mark: the deciding test, then the evidence.
namespace verdict {
inline const Text kSeparator = text::utf8ToGbk("：");
inline const Text kMentioned = text::utf8ToGbk("页面提到了网址");
inline const Text kNotMentioned = text::utf8ToGbk("页面没有提到网址");
inline const Text kLinked = text::utf8ToGbk("有链接");
inline const Text kNotLinked = text::utf8ToGbk("没有链接");
inline const Text kAnd = text::utf8ToGbk("，");
inline const Text kNoResponse = text::utf8ToGbk("没有响应");
inline const Text kNoResponseWithin = text::utf8ToGbk("秒内没有响应");
inline const Text kNotFound = text::utf8ToGbk("响应头含404");
inline const Text kEmptyBody = text::utf8ToGbk("页面为空");
inline const Text kMetaRefresh = text::utf8ToGbk("页面自动跳转");
inline const Text kBrowserErrorPage = text::utf8ToGbk("浏览器错误页");
inline const Text kNoLinkToSite = text::utf8ToGbk("页面没有链接到网址");
inline const Text kSamePage = text::utf8ToGbk("任何网址都是同一页面");
// A line of its own under the verdict: the baseline rule could not be applied to the row.
inline const Text kControlUnreadable = text::utf8ToGbk("对照页面无法读取，未做对照检查");
inline const Text kRetriedPrefix = text::utf8ToGbk("（重试");
inline const Text kRetriedSuffix = text::utf8ToGbk("次）");
inline const Text kStatus = text::utf8ToGbk("状态：HTTP ");
inline const Text kTitle = text::utf8ToGbk("标题：");
inline const Text kFinalUrl = text::utf8ToGbk("最终网址：");
inline const Text kSize = text::utf8ToGbk("大小：");
inline const Text kBytes = text::utf8ToGbk("字节");
inline const Text kTime = text::utf8ToGbk("用时：");
inline const Text kMilliseconds = text::utf8ToGbk("毫秒");
// "历史：N次中成功M次"
inline const Text kHistory = text::utf8ToGbk("历史：");
inline const Text kHistoryOf = text::utf8ToGbk("次中成功");
inline const Text kHistoryTimes = text::utf8ToGbk("次");
// The status line when the history cannot be used or read (followed by the reason), and when
// 历史报告 finds no pass recorded yet.
inline const Text kHistoryUnavailable = text::utf8ToGbk("历史记录不可用：");
inline const Text kHistoryReportFailed = text::utf8ToGbk("历史报告失败：");
inline const Text kPassesGoOn = text::utf8ToGbk("\r\n提交照常进行，只是不再记录历史。");
inline const Text kNoHistoryYet = text::utf8ToGbk("还没有记录过提交");
} // namespace verdict

// Captions of the main window's controls and menus.
namespace caption {
inline const Text kGroupLibrary = text::utf8ToGbk("网址库");
inline const Text kAddressLabel = text::utf8ToGbk("地址：");
inline const Text kImport = text::utf8ToGbk("导入网址");
inline const Text kStartSubmit = text::utf8ToGbk("开始提交");
inline const Text kStopSubmit = text::utf8ToGbk("停止提交");
inline const Text kGroupList = text::utf8ToGbk("地址库");
inline const Text kColumnNumber = text::utf8ToGbk("编号");
inline const Text kColumnUrl = text::utf8ToGbk("查询网址");
inline const Text kColumnMark = text::utf8ToGbk("成功");
inline const Text kGroupSettings = text::utf8ToGbk("软件设置");
inline const Text kLoopSubmit = text::utf8ToGbk("循环提交");
inline const Text kOnlySuccess = text::utf8ToGbk("只保存成功");
inline const Text kThreadsLabel = text::utf8ToGbk("线程数：");
inline const Text kDefaultThreads = "50";
inline const Text kSave = text::utf8ToGbk("保存网址");
inline const Text kAddLabel = text::utf8ToGbk("增加地址库：");
inline const Text kAdd = text::utf8ToGbk("添加网址");
inline const Text kGroupVersion = text::utf8ToGbk("版本信息");
inline const Text kCheckUpdate = text::utf8ToGbk("检查更新");

inline const Text kMenuEditUrl = text::utf8ToGbk("修改网址");
inline const Text kMenuSubmitUrl = text::utf8ToGbk("提交网址");
inline const Text kMenuOpenUrl = text::utf8ToGbk("打开网址");
inline const Text kMenuDeleteUrl = text::utf8ToGbk("删除网址");
inline const Text kMenuDeleteAll = text::utf8ToGbk("全部删除");
inline const Text kMenuProgram = text::utf8ToGbk("程序");
inline const Text kMenuMinimizeToTray = text::utf8ToGbk("最小到托盘");
inline const Text kMenuAutoStart = text::utf8ToGbk("设置开机启动");
inline const Text kMenuExit = text::utf8ToGbk("退出");
inline const Text kMenuHistoryReport = text::utf8ToGbk("历史报告");
inline const Text kMenuHelp = text::utf8ToGbk("帮助");
inline const Text kMenuSite = text::utf8ToGbk("官方网站");
inline const Text kMenuCheckUpgrade = text::utf8ToGbk("检查升级");
inline const Text kMenuGuestbook = text::utf8ToGbk("给我留言");
} // namespace caption

// The auto-start dialog: its captions and message boxes.
namespace autostart {
inline const Text kWindowTitle = text::utf8ToGbk("设置开机启动");
inline const Text kFolderLabel = text::utf8ToGbk("目录：");
inline const Text kBrowse = text::utf8ToGbk("打开");
inline const Text kWrite = text::utf8ToGbk("写注册项");
inline const Text kDelete = text::utf8ToGbk("删除注册项");
inline const Text kSecuritySoftwareHint = text::utf8ToGbk("提示：若杀软阻止，请关闭杀软再运行！");
inline const Text kProgramFilter = text::utf8ToGbk("执行程序文件*.exe|*.exe");
// Added to the filter where programs do not end in .exe.
inline const Text kAllFilesFilter = text::utf8ToGbk("所有文件|*");
inline const Text kErrorTitle = text::utf8ToGbk("发生错误");
inline const Text kOpenFileFirst = text::utf8ToGbk("写注册项失败！请先打开文件");
inline const Text kWriteFailed = text::utf8ToGbk("写注册项失败！");
inline const Text kAddedTitle = text::utf8ToGbk("启动项");
inline const Text kAdded = text::utf8ToGbk("添加启动项已经成功了！");
inline const Text kRemovedTitle = text::utf8ToGbk("成功提示");
inline const Text kRemoved = text::utf8ToGbk("添加的启动项已被删除成功！");
inline const Text kNotAddedTitle = text::utf8ToGbk("错误提示");
inline const Text kNotAdded = text::utf8ToGbk("您尚未添加过程序启动项");
} // namespace autostart

// The guest-book window.
inline const Text kGuestbookTitle = text::utf8ToGbk("给我留言");

// The update check: its question and the reports of the download.
namespace update {
inline const Text kPromptCurrent = text::utf8ToGbk("当前版本：");
inline const Text kPromptNewest = text::utf8ToGbk("\r\n最新版本：");
inline const Text kPromptChanges = text::utf8ToGbk("\r\n更新内容：\r\n");
inline const Text kPromptTitle = text::utf8ToGbk("是否下载最新版？");
inline const Text kDownloadedTo = text::utf8ToGbk("新版本已下载到：\r\n");
inline const Text kDownloadFailed = text::utf8ToGbk("下载失败");
inline const Text kDownloadTitle = "tips";
// The status line after a check the user asked for: the reason follows kCheckFailed.
inline const Text kCheckFailed = text::utf8ToGbk("检查更新失败：");
inline const Text kNoResponse = text::utf8ToGbk("没有响应");
inline const Text kHttpStatus = "HTTP ";
inline const Text kCutShort = text::utf8ToGbk("页面不完整");
inline const Text kNoVersion = text::utf8ToGbk("页面中没有版本信息");
inline const Text kUpToDate = text::utf8ToGbk("当前已是最新版本");
// The status line after a check the user asked for in a build that has no update-notice page.
inline const Text kNoUpdateAddress = text::utf8ToGbk("没有配置更新地址");
} // namespace update

// Words of Qt's dialogs that its Chinese translation (qtbase_zh_CN of Qt 6.4) lacks: the type
// column of a file dialog names folders, drives and links through a class new in Qt 6.
namespace qtwords {
inline const Text kFolder = text::utf8ToGbk("文件夹");
inline const Text kDrive = text::utf8ToGbk("驱动器");
inline const Text kShortcut = text::utf8ToGbk("快捷方式");
inline const Text kUnknown = text::utf8ToGbk("未知");
} // namespace qtwords

} // namespace tavrin::msg
