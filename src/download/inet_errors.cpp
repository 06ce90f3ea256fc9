#include "download/inet_errors.h"

#include <algorithm>
#include <array>

namespace tarnwick {

namespace {

// Codes 12000 to 12053; an empty entry past 12000 has no text of its own.
constexpr std::array<const char*, 54> kTexts = {
    "",  // 12000
    "No more handles",
    "Timeout",
    "Extended error",
    "Internal error",
    "URL invalid",
    "URL unrecognised",
    "Server not resolved",
    "Protocol not located",
    "Invalid Option",
    "Bad Option Length",  // 12010
    "Option Not Settable",
    "Internet support shutdown",
    "Invalid username",
    "Invalid password",
    "Login failure",
    "Invalid operation",
    "Operation cancelled",
    "Invalid Internet Handle",
    "Invalid Handle state",
    "Proxy request invalid",  // 12020
    "Registry Value not located",
    "Registry Value invalid type",
    "Network access unavailable",
    "Zero context supplied",
    "Callback option not set",
    "Request Pending",
    "Request Format Invalid",
    "Item Not Found",
    "Connection Failed",
    "Connection Terminated",  // 12030
    "Connection Reset",
    "Force Retry",
    "Invlaid Proxy Request",
    "Need UI",
    nullptr,  // 12035
    "Handle Already Exists",
    "Certificate Date Invalid",
    "Certificate Invalid",
    "HTTP to HTTPS redirection",
    "HTTPS to HTTP redirection",  // 12040
    "Mixed Security",
    "Post Not Secure",
    "Post Not Secure",
    "Client Certificate Needed",
    "Invalid Client Authority",
    "Client Authority not Setup",
    "Async Thread Failure",
    "Redirect Scheme Changed",
    "Dialog Pending",
    "Retry Dialog",  // 12050
    nullptr,
    "HTTP HTTP Redirection",
    "Insert CD-Rom",
};

}  // namespace

std::string InetErrorMessage(long code) {
    if (code < 12000 || code > 12053) return "Undefined Error";
    const char* text = kTexts[static_cast<std::size_t>(code - 12000)];
    return text ? text : "Undefined Error";
}

long inetErrorCode(TransferFailure failure) {
    switch (failure) {
    case TransferFailure::Resolve:
        return 12007;
    case TransferFailure::Connect:
        return 12029;
    case TransferFailure::Login:
        return 12015;
    case TransferFailure::Timeout:
        return 12002;
    case TransferFailure::Cut:
        return 12030;
    case TransferFailure::NotFound:
        return 12028;
    case TransferFailure::Protocol:
        return 12006;
    case TransferFailure::RedirectScheme:
        return 12048;
    default:
        return 0;
    }
}

std::string transferReason(const TransferOutcome& outcome) {
    if (const long code = inetErrorCode(outcome.failure)) {
        std::string text = InetErrorMessage(code);
        if (!outcome.message.empty()) text += " (" + outcome.message + ")";
        return text;
    }
    if (outcome.failure == TransferFailure::TooManyRedirects)
        return "Too many redirects" + (outcome.message.empty() ? std::string() : " (" + outcome.message + ")");
    if (outcome.failure == TransferFailure::HttpStatus && outcome.httpStatus > 0)
        return "HTTP status " + std::to_string(outcome.httpStatus);
    return outcome.message.empty() ? "transfer failed" : outcome.message;
}

std::string addressShown(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const std::size_t start = scheme + 3;
    const std::size_t end = std::min(url.find_first_of("/?#", start), url.size());
    const std::size_t at = url.rfind('@', end - 1);
    if (at == std::string::npos || at < start) return url;
    const std::size_t colon = url.find(':', start);
    if (colon == std::string::npos || colon > at) return url;
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

}  // namespace tarnwick
