// The mail exchange's log messages: string-file lookup, cutting of long texts into log entries,
// and the memo copy of long texts.
#include "mail/MailLog.h"

#include <string>

#include "mail/MailSettings.h"
#include "mail/SafeFormat.h"
#include "mail/TextMemo.h"
#include "synckit/HotSyncLog.h"

namespace {

bool logInProgress = false;

// Marks a LogMailText call as running for its whole extent.
class LogGuard {
public:
    LogGuard() { logInProgress = true; }
    ~LogGuard() { logInProgress = false; }
    LogGuard(const LogGuard&) = delete;
    LogGuard& operator=(const LogGuard&) = delete;
};

void AddEntry(std::string_view format, int32_t value) {
    const std::string text = mail::SafeFormat(format, {value});
    LogAddEntry(text.c_str(), -1, 0);
}

}  // namespace

namespace mail {

std::vector<std::string_view> CutLogText(std::string_view text) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t k = 0;
        bool cut = false;
        for (; start + k < text.size(); ++k) {
            const char c = text[start + k];
            if (c == '\n' || (c == ' ' && k > 60) || k > 90) {
                cut = true;
                break;
            }
        }
        pieces.push_back(text.substr(start, k));
        if (!cut) break;
        const char end = text[start + k];
        start += k + ((end == '\n' || end == ' ') ? 1 : 0);
    }
    return pieces;
}

}  // namespace mail

void LogMailMessage(const char* section, int32_t code) {
    if (code > 16384) code -= 16384;
    std::string text;
    if (Mail().StringFilePath.empty()) {
        text = kUnrecognizedMessageText;
    } else {
        text = ReadStringFileText(section, std::to_string(code).c_str(), kMessageTextBufferSize);
    }
    LogMailText(kMailLogPrefix + text, code);
}

void LogMailText(std::string_view format, int32_t value) {
    if (logInProgress) return;
    LogGuard guard;
    if (format.size() < kLongLogTextLength) {
        AddEntry(format, value);
        return;
    }
    for (std::string_view piece : mail::CutLogText(format)) AddEntry(piece, value);
    if (const MailMemoTarget* target = CurrentMailTarget()) WriteTextMemo(*target, format);
}
