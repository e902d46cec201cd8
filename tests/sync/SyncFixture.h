// Helpers for the sync-engine tests: a memo HotSync run end to end through the real session on an
// in-memory handheld, with the desktop file, its ".bak" copy and the archive files in a temporary
// prefix, and readable views of all three sides.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../session/SessionTestSupport.h"
#include "session/Conduit.h"
#include "session/MemoMonitor.h"
#include "synckit/Table.h"

namespace sync_test {

using session_test::MemoProperties;
using session_test::QuietProgress;

inline constexpr char kDesktopPath[] = "C:\\Users\\Ann\\memopad\\memopad.dat";
inline constexpr char kBackupPath[] = "C:\\Users\\Ann\\memopad\\memopad.bak";
inline constexpr char kDesktopDir[] = "C:\\Users\\Ann\\memopad\\";

struct Row {
    uint32_t id = 0;
    int32_t status = kStatusNone;
    bool archived = false;
    std::string text;
    bool operator==(const Row&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << "{id " << row.id << ", status " << row.status << (row.archived ? ", archived" : "") << ", \""
               << row.text << "\"}";
}

// Every row of a table in table order.
inline std::vector<Row> RowsOf(CMemoTable& table) {
    std::vector<Row> rows;
    CBaseIterator walk(table);
    CMemoRecord cursor(table, 0);
    for (int32_t found = walk.FindFirst(cursor, 0); found == 0; found = walk.FindNext(cursor, 0)) {
        Row row;
        cursor.GetRecordId(row.id);
        cursor.GetStatus(row.status);
        row.archived = cursor.IsArchived() != 0;
        cursor.GetMemo(row.text);
        rows.push_back(row);
    }
    return rows;
}

inline void AppendRow(CMemoTable& table, const Row& row) {
    CMemoRecord cursor(table, 0);
    table.CreateRecord(cursor);
    cursor.SetRecordId(row.id);
    cursor.SetMemo(row.text);
    cursor.SetStatus(row.status);
    cursor.SetArchiveBit(row.archived ? 1 : 0);
}

class SyncFixture : public session_test::SessionFixture {
protected:
    synckit::HandheldDatabase& Db() { return *handheld.FindDatabase("MemoDB"); }

    // A handheld memo: the text and its NUL.
    uint32_t AddHandheld(const std::string& text, uint8_t attributes = 0) {
        return handheld.AddRecord(Db(), text + std::string(1, '\0'), attributes, 0);
    }
    synckit::HandheldRecord* HandheldRecord(uint32_t id) {
        for (auto& record : Db().records)
            if (record.id == id) return &record;
        return nullptr;
    }
    // Edits a handheld record the way the handheld's own editor does (new text, dirty bit).
    void EditHandheld(uint32_t id, const std::string& text, uint8_t attributes = kRecAttrDirty) {
        synckit::HandheldRecord* record = HandheldRecord(id);
        ASSERT_NE(record, nullptr);
        record->data = text + std::string(1, '\0');
        record->attributes = attributes;
    }
    std::vector<std::string> HandheldTexts() {
        std::vector<std::string> texts;
        for (const auto& record : Db().records) texts.push_back(record.data.substr(0, record.data.find('\0')));
        return texts;
    }

    std::vector<Row> DesktopRows(const char* path = kDesktopPath) {
        CMemoTable table;
        table.OpenFrom(path, 0);
        return RowsOf(table);
    }
    std::vector<std::string> DesktopTexts() {
        std::vector<std::string> texts;
        for (const Row& row : DesktopRows()) texts.push_back(row.text);
        return texts;
    }
    // Loads the desktop file, lets the test change it and saves it again.
    void EditDesktop(const std::function<void(CMemoTable&)>& edit) {
        CMemoTable table;
        table.OpenFrom(kDesktopPath, 0);
        edit(table);
        ASSERT_EQ(table.SaveTo(kDesktopPath), 0);
    }
    // Changes the desktop row with the handheld id.
    void EditDesktopRow(uint32_t id, const std::function<void(CMemoRecord&)>& edit) {
        EditDesktop([&](CMemoTable& table) {
            CBaseIterator walk(table);
            CMemoRecord cursor(table, 0);
            ASSERT_EQ(walk.FindByRecordId(id, cursor, 0), 0) << "no desktop row with id " << id;
            edit(cursor);
        });
    }

    // The texts of every archive file (".MPA") beside the desktop file.
    std::vector<std::string> ArchiveTexts() {
        std::vector<std::string> texts;
        const std::filesystem::path dir = prefix.DriveC() / "Users/Ann/memopad";
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.path().extension() != ".MPA") continue;
            CMemoTable table;
            const std::string path = std::string(kDesktopDir) + entry.path().filename().string();
            EXPECT_EQ(table.OpenFrom(path.c_str(), 0), 0) << path;
            for (const Row& row : RowsOf(table)) texts.push_back(row.text);
        }
        std::sort(texts.begin(), texts.end());
        return texts;
    }

    // A new connection to the same handheld: its databases and id counter stay, the fault plan, a
    // broken link and the call record do not (so the nth call of a plan counts from the next sync).
    void Reconnect() {
        auto databases = std::move(handheld.Databases());
        const uint32_t nextId = handheld.NextUniqueId();
        handheld = synckit::MemoryHandheld();
        handheld.Databases() = std::move(databases);
        handheld.SetNextUniqueId(nextId);
    }

    // One whole HotSync of the memo database through the session, as the entry point runs it.
    int32_t Sync(int32_t syncType) {
        CMemoMonitor session(QuietProgress, MemoProperties(syncType), ConduitModule());
        return RunSession(session);
    }

    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const auto& entry : log.Entries()) texts.push_back(entry.text);
        return texts;
    }
    bool Logged(const std::string& text) const {
        for (const auto& entry : log.Entries())
            if (entry.text == text) return true;
        return false;
    }
    int32_t CompletionKind() const { return log.Entries().empty() ? -99 : log.Entries().back().kind; }

    // The handheld holds the texts, a first slow sync brings them to the desktop, and both sides
    // are then in step (flags reset, ".bak" written). The log and the call record start afresh.
    std::vector<uint32_t> StartInStep(const std::vector<std::string>& texts) {
        std::vector<uint32_t> ids;
        for (const auto& text : texts) ids.push_back(AddHandheld(text, kRecAttrDirty));
        EXPECT_EQ(Sync(1), 0);
        EXPECT_EQ(CompletionKind(), 20);
        log.Clear();
        handheld.ClearCalls();
        return ids;
    }
};

}  // namespace sync_test
