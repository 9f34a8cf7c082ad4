// The guest-book window: the maker's guest-book page in an embedded web view. The view is larger
// than the window and shifted up and left, so the top of the page and the view's edges are cut
// off, and the right mouse button never reaches the page (no context menu, no right-button
// selection). Built only with Qt WebEngine; without it the page opens in the browser.
#pragma once

#include <QDialog>
#include <QUrl>

class QWebEngineView;

namespace tavrin::app {

class GuestbookWindow final : public QDialog
{
    Q_OBJECT

public:
    // Whether the web engine can start in this process. When it cannot (its helper program is
    // missing, or its sandbox refuses to run as root), the engine ends the whole program
    // instead of failing the view, so this is asked before every window.
    [[nodiscard]] static bool canStartEngine();

    explicit GuestbookWindow(const QUrl& page);
    ~GuestbookWindow() override;

    [[nodiscard]] QWebEngineView* view() const { return pageView_; }
    // The widget that takes the page's mouse and keyboard input; null until the view made it.
    [[nodiscard]] QWidget* pageWidget() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onGuestbookCreated();
    void guard(QObject* object);

    QWebEngineView* pageView_ = nullptr;
};

} // namespace tavrin::app
