// The mail exchange's settings (section mail10 of the settings file), the sixteen texts of section
// Strings of the string file, and the library-wide state that holds them between exchanges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// Buffer sizes of the texts read from the registry and the two INI files: characters plus the
// terminating zero. A longer text is cut by the read to size - 1 characters.
inline constexpr size_t kAppPathBufferSize = 256;       // the App Paths value "Path"
inline constexpr size_t kFileNameBufferSize = 256;      // StringFile, NetscapeFolderName
inline constexpr size_t kSyncTimeBufferSize = 100;      // LastSyncTime, LastNetscapeSyncTime
inline constexpr size_t kStringsTextBufferSize = 50;    // sections Strings and Months
inline constexpr size_t kCategoryNameBufferSize = 20;   // InboxName, OutboxName, SentName
inline constexpr size_t kMessageTextBufferSize = 256;   // sections Mail, Mapi and HotSync

// The largest text of one incoming memo, its terminating NUL included.
inline constexpr int32_t kMemoLimitDefault = 4090;
inline constexpr int32_t kMemoLimitLarge = 28672;

// The handheld category index while it is not known.
inline constexpr int32_t kCategoryIndexUnknown = -9999;

inline constexpr const char* kAppPathsKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervano Mail.exe";
inline constexpr const char* kAppPathsValue = "Path";
inline constexpr const char* kSettingsFileName = "tervano.ini";
inline constexpr const char* kSettingsSection = "mail10";
inline constexpr const char* kDefaultStringFile = "tervstr.ini";
inline constexpr const char* kDefaultSyncTime = "1990/01/01 00:00";
// The form in which the two last-sync times are stored (local time).
inline constexpr const char* kSyncTimeFormat = "%Y/%m/%d %H:%M";

// Section mail10 of the settings file. Member names are the key names; the initial values are the
// defaults that a missing file or key gives. Flags are set when the stored value is not 0.
struct MailSettings {
    std::string StringFile = kDefaultStringFile;
    bool SendMail = true;
    bool DeleteSentMessages = false;  // takes precedence over MoveSentMailToSent
    bool MoveSentMailToSent = true;
    bool ReceiveMail = true;
    int32_t MaxMessagesToReceive = 1000;
    int32_t MaxMessageSize = 0;  // only compared with 0 (see MemoLimit)
    bool ReceiveOnlyUnreadMessages = false;
    bool MarkReceivedMessagesAsRead = false;
    bool ShowSenderInHeadline = false;
    std::string LastSyncTime = kDefaultSyncTime;
    std::string LastNetscapeSyncTime = kDefaultSyncTime;
    bool OnlyReceiveNewMessages = true;
    bool UseDefaultProfile = true;
    bool ForceDownload = false;
    std::string InboxName;           // default DefaultInboxName
    std::string OutboxName;          // default DefaultOutboxName
    std::string SentName;            // default DefaultSentName
    bool NetscapeMail = false;
    std::string NetscapeFolderName;  // default DefaultInboxName
    bool NetscapeOnlyFlagged = false;
};

// Section Strings of the string file, keys 1 to 16 in this order; empty when missing.
struct MailTexts {
    std::string DefaultOutboxName;   // 1
    std::string DefaultInboxName;    // 2: also the category WriteTextMemo files log memos under
    std::string DefaultSentName;     // 3
    std::string ToKeyword;           // 4
    std::string SubjectKeyword;      // 5
    std::string UnusedText6;         // 6: read, not used
    std::string CcKeyword;           // 7
    std::string BccKeyword;          // 8
    std::string DateKeyword;         // 9
    std::string FromKeyword;         // 10
    std::string SkippedKeyword;      // 11
    std::string PartFormat;          // 12: two integer conversions, part number then part count
    std::string NoTextText;          // 13
    std::string MoreRecipientsText;  // 14
    std::string NoSubjectText;       // 15
    std::string UnknownSenderText;   // 16
};
inline constexpr int kMailTextCount = 16;
// The member for key n (1 to 16) of section Strings.
std::string& MailTextByKey(MailTexts& texts, int key);

// Everything the mail exchange keeps while the library is loaded. Settings, texts, paths and the
// memo limit are read afresh by every ReadMailSettings.
struct MailState {
    MailSettings settings;
    MailTexts texts;
    std::string ProgramDirectory;  // ends in a backslash, or empty
    std::string SettingsFilePath;  // ProgramDirectory + "tervano.ini"
    std::string StringFilePath;    // ProgramDirectory + StringFile, appended unchanged
    int32_t MemoLimit = kMemoLimitDefault;  // 4090, or 28672 when MaxMessageSize is not 0
    // The newest message times taken so far; ReadMailSettings starts them from the settings and
    // clears the raised marks, the receive passes raise them, the driver writes back raised ones.
    std::time_t NewestMapiTime = 0;
    std::time_t NewestNetscapeTime = 0;
    bool NewestMapiTimeRaised = false;
    bool NewestNetscapeTimeRaised = false;
    // The handheld index of the incoming category (kCategoryIndexUnknown until found). Kept between
    // reads of the settings; see MailSessionScope for when it is forgotten.
    int32_t InboxCategoryIndex = kCategoryIndexUnknown;
};

// The one library-wide instance.
MailState& Mail();

// The program directory from the App Paths value: everything after its last backslash dropped, the
// backslash kept; "" when the value has no backslash.
std::string ProgramDirectoryFromPath(std::string_view pathValue);

// Reads the App Paths value into dir (as ProgramDirectoryFromPath gives it). 0 on success; 20 when the
// key cannot be opened for reading, 21 when its value "Path" cannot be read (dir is then "").
int32_t ReadProgramDirectory(std::string& dir);

// Reads the settings file and the string file into Mail(): the program directory, the two paths,
// MailSettings in the order of its members with the sixteen Strings texts read between
// ForceDownload and InboxName, MemoLimit, and the starting values of the two newest times.
// 0 on success. -1 when the program directory cannot be found: "Configuration error 20" (no App
// Paths key) or "Configuration error 21" (no "Path" value) is logged through LogMailText, and the
// state holds the defaults with empty paths. InboxCategoryIndex is left as it is.
int32_t ReadMailSettings();

// A text of the string file (the current Mail().StringFilePath): the key's value in section,
// "" when the file, section or key is missing or no string-file path is known; at most
// bufferSize - 1 characters.
std::string ReadStringFileText(const char* section, const char* key, size_t bufferSize);

// The fields of a time text "yyyy/mm/dd hh:mm", read from fixed positions (year 0-3, month 5-6,
// day 8-9, hour 11-12, minute 14-15) as decimal numbers of the characters present (a field whose
// characters are missing reads 0), then clamped: year below 1970 -> 1970, above 2036 -> 2035;
// month to 1-12; day to 1-31; hour above 23 -> 23; minute above 59 -> 59.
struct SyncTimeFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    bool operator==(const SyncTimeFields&) const = default;
};
SyncTimeFields ParseSyncTimeFields(std::string_view text);

// The time text as a calendar time: its clamped fields as local time, seconds 0, daylight saving
// decided by the platform. (time_t)-1 when the platform cannot represent it.
std::time_t ParseSyncTime(std::string_view text);

// A calendar time as a time text ("%Y/%m/%d %H:%M", local time), the form ParseSyncTime reads;
// "" when the time cannot be represented.
std::string FormatSyncTime(std::time_t time);
