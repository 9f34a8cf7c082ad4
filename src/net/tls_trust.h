// Which certificate authorities HTTPS requests trust.
//
// By default, the system's store (certificate verification is always on). Tests that run a
// local TLS server trust their own test authority instead, through this one setting.
#pragma once

#include <memory>
#include <string>

namespace tavrin::net {

// Trust only the PEM certificates given from now on; an empty text goes back to the system's
// store. Requests already under way keep what they started with.
void setTrustedCertificates(std::string pem);

// The PEM text set above, or null for the system's store. The text is shared, so a request may
// keep it alive for as long as it runs.
[[nodiscard]] std::shared_ptr<const std::string> trustedCertificates();

} // namespace tavrin::net
