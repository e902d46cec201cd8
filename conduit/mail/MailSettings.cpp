// Reading the mail exchange's settings and texts: program directory from the registry, section
// mail10 of the settings file, section Strings of the string file, and the last-sync time texts.
#include "mail/MailSettings.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "mail/MailLog.h"
#include "win/Profile.h"
#include "win/Registry.h"
#include "win/Time.h"

namespace {

// Closes a registry key when it goes out of scope.
struct KeyCloser {
    void operator()(win::RegistryKeyHandle* key) const { win::RegCloseKey(key); }
};
using ScopedKey = std::unique_ptr<win::RegistryKeyHandle, KeyCloser>;

// Reads the settings file's text key through a buffer of bufferSize.
std::string ReadText(const std::string& file, const char* section, const char* key, const std::string& def,
                     size_t bufferSize) {
    std::string buffer(bufferSize, '\0');
    const size_t n = win::GetPrivateProfileString(section, key, def.c_str(), buffer.data(), bufferSize, file.c_str());
    buffer.resize(std::min(n, bufferSize - 1));
    return buffer;
}

int32_t ReadInt(const std::string& file, const char* key, int32_t def) {
    return win::GetPrivateProfileInt(kSettingsSection, key, def, file.c_str());
}

bool ReadFlag(const std::string& file, const char* key, bool def) { return ReadInt(file, key, def ? 1 : 0) != 0; }

// The decimal number at the start of text, in the manner of atoi: leading blanks, an optional
// sign, digits up to the first other character; 0 without digits.
int LeadingNumber(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    int value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') value = value * 10 + (text[pos++] - '0');
    return negative ? -value : value;
}

// The characters [start, start + count) of text that are present, as a number.
int Field(std::string_view text, size_t start, size_t count) {
    if (start >= text.size()) return 0;
    return LeadingNumber(text.substr(start, count));
}

}  // namespace

std::string& MailTextByKey(MailTexts& t, int key) {
    std::string* const members[kMailTextCount] = {
        &t.DefaultOutboxName, &t.DefaultInboxName, &t.DefaultSentName, &t.ToKeyword,
        &t.SubjectKeyword,    &t.UnusedText6,      &t.CcKeyword,       &t.BccKeyword,
        &t.DateKeyword,       &t.FromKeyword,      &t.SkippedKeyword,  &t.PartFormat,
        &t.NoTextText,        &t.MoreRecipientsText, &t.NoSubjectText, &t.UnknownSenderText,
    };
    return *members[std::clamp(key, 1, kMailTextCount) - 1];
}

MailState& Mail() {
    static MailState state;
    return state;
}

std::string ProgramDirectoryFromPath(std::string_view pathValue) {
    const size_t slash = pathValue.rfind('\\');
    if (slash == std::string_view::npos) return {};
    return std::string(pathValue.substr(0, slash + 1));
}

int32_t ReadProgramDirectory(std::string& dir) {
    dir.clear();
    win::HKEY raw = nullptr;
    if (win::RegOpenKeyEx(win::HKEY_LOCAL_MACHINE, kAppPathsKey, 0, win::KEY_READ, &raw) != win::ERROR_SUCCESS) {
        return 20;
    }
    ScopedKey key(raw);
    // One byte more than the read may fill, always zero, so a value stored without its terminating
    // zero still ends inside the buffer.
    win::BYTE value[kAppPathBufferSize + 1] = {};
    win::DWORD size = kAppPathBufferSize;
    win::DWORD type = 0;
    if (win::RegQueryValueEx(key.get(), kAppPathsValue, nullptr, &type, value, &size) != win::ERROR_SUCCESS) {
        return 21;
    }
    const char* text = reinterpret_cast<const char*>(value);
    dir = ProgramDirectoryFromPath(std::string_view(text, ::strnlen(text, kAppPathBufferSize)));
    return 0;
}

int32_t ReadMailSettings() {
    MailState& state = Mail();
    const int32_t inboxIndex = state.InboxCategoryIndex;
    state = MailState{};
    state.InboxCategoryIndex = inboxIndex;

    std::string dir;
    if (const int32_t code = ReadProgramDirectory(dir); code != 0) {
        LogMailText("Configuration error %d", code);
        return -1;
    }
    state.ProgramDirectory = dir;
    state.SettingsFilePath = dir + kSettingsFileName;
    const std::string& ini = state.SettingsFilePath;
    MailSettings& s = state.settings;

    s.StringFile = ReadText(ini, kSettingsSection, "StringFile", kDefaultStringFile, kFileNameBufferSize);
    state.StringFilePath = dir + s.StringFile;
    s.SendMail = ReadFlag(ini, "SendMail", true);
    s.DeleteSentMessages = ReadFlag(ini, "DeleteSentMessages", false);
    s.MoveSentMailToSent = ReadFlag(ini, "MoveSentMailToSent", true);
    s.ReceiveMail = ReadFlag(ini, "ReceiveMail", true);
    s.MaxMessagesToReceive = ReadInt(ini, "MaxMessagesToReceive", 1000);
    s.MaxMessageSize = ReadInt(ini, "MaxMessageSize", 0);
    s.ReceiveOnlyUnreadMessages = ReadFlag(ini, "ReceiveOnlyUnreadMessages", false);
    s.MarkReceivedMessagesAsRead = ReadFlag(ini, "MarkReceivedMessagesAsRead", false);
    s.ShowSenderInHeadline = ReadFlag(ini, "ShowSenderInHeadline", false);
    s.LastSyncTime = ReadText(ini, kSettingsSection, "LastSyncTime", kDefaultSyncTime, kSyncTimeBufferSize);
    s.LastNetscapeSyncTime =
        ReadText(ini, kSettingsSection, "LastNetscapeSyncTime", kDefaultSyncTime, kSyncTimeBufferSize);
    s.OnlyReceiveNewMessages = ReadFlag(ini, "OnlyReceiveNewMessages", true);
    s.UseDefaultProfile = ReadFlag(ini, "UseDefaultProfile", true);
    s.ForceDownload = ReadFlag(ini, "ForceDownload", false);

    // The Strings texts come before the category names, whose defaults they are.
    for (int key = 1; key <= kMailTextCount; ++key) {
        MailTextByKey(state.texts, key) =
            ReadText(state.StringFilePath, "Strings", std::to_string(key).c_str(), "", kStringsTextBufferSize);
    }
    const MailTexts& t = state.texts;
    s.InboxName = ReadText(ini, kSettingsSection, "InboxName", t.DefaultInboxName, kCategoryNameBufferSize);
    s.OutboxName = ReadText(ini, kSettingsSection, "OutboxName", t.DefaultOutboxName, kCategoryNameBufferSize);
    s.SentName = ReadText(ini, kSettingsSection, "SentName", t.DefaultSentName, kCategoryNameBufferSize);
    s.NetscapeMail = ReadFlag(ini, "NetscapeMail", false);
    s.NetscapeFolderName =
        ReadText(ini, kSettingsSection, "NetscapeFolderName", t.DefaultInboxName, kFileNameBufferSize);
    s.NetscapeOnlyFlagged = ReadFlag(ini, "NetscapeOnlyFlagged", false);

    state.MemoLimit = s.MaxMessageSize != 0 ? kMemoLimitLarge : kMemoLimitDefault;
    state.NewestMapiTime = ParseSyncTime(s.LastSyncTime);
    state.NewestNetscapeTime = ParseSyncTime(s.LastNetscapeSyncTime);
    return 0;
}

std::string ReadStringFileText(const char* section, const char* key, size_t bufferSize) {
    const std::string& file = Mail().StringFilePath;
    if (file.empty() || bufferSize == 0) return {};
    return ReadText(file, section, key, "", bufferSize);
}

SyncTimeFields ParseSyncTimeFields(std::string_view text) {
    SyncTimeFields f;
    f.year = Field(text, 0, 4);
    if (f.year < 1970) f.year = 1970;
    if (f.year > 2036) f.year = 2035;
    f.month = std::clamp(Field(text, 5, 2), 1, 12);
    f.day = std::clamp(Field(text, 8, 2), 1, 31);
    f.hour = std::min(Field(text, 11, 2), 23);
    f.minute = std::min(Field(text, 14, 2), 59);
    return f;
}

std::time_t ParseSyncTime(std::string_view text) {
    const SyncTimeFields f = ParseSyncTimeFields(text);
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return win::MakeLocalTime(tm);
}

std::string FormatSyncTime(std::time_t time) { return win::FormatLocalTime(time, kSyncTimeFormat); }
