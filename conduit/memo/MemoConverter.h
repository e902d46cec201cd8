// The record converter: handheld records <-> desktop rows, and the handheld application-info block
// <-> a category list. CRecordConverter is the generic one; CMemoConverter does it for memos.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "session/ResultCodes.h"
#include "synckit/Category.h"
#include "synckit/SyncBlocks.h"
#include "synckit/Table.h"

// ToRawRecord: the handheld form of the memo text, with its NUL, does not fit the raw record's data
// buffer. Nothing is written to the buffer and the data size is left 0; the record writers give the
// record up (with 4111) and the row keeps its text and status on the desktop. Not one of the
// session's own codes (4100-4114), so that it can never be mistaken for one of them.
inline constexpr int32_t kErrTextTooLong = 4115;
// FromRawRecord: a handheld text too long for the text buffer could not get a larger scratch
// buffer. The row is left as it was apart from its id, category, flags and status.
inline constexpr int32_t kErrNoTextBuffer = kErrToDesktopRecord;

// Layout of the memo database's application-info block (big-endian where multi-byte).
inline constexpr size_t kAppInfoDirtyOffset = 0;     // 16-bit name-dirty bits, bit i = category i
inline constexpr size_t kAppInfoNamesOffset = 2;     // 16 name slots of 16 bytes, NUL-terminated
inline constexpr size_t kAppInfoNameSlotSize = 16;
inline constexpr size_t kAppInfoIdsOffset = 258;     // 16 one-byte unique ids
inline constexpr size_t kAppInfoCategoryEnd = 274;   // bytes from here on are never touched

// The generic converter. Operations 1 to 4 are not supported at this level (-1); 5 does nothing;
// 6 brings a position map's record ids into host order. The order of the virtual operations is
// the converter's operation table.
class CRecordConverter {
public:
    static constexpr size_t kTextBufferSize = 8192;

    CRecordConverter();
    virtual ~CRecordConverter();
    CRecordConverter(const CRecordConverter&) = delete;
    CRecordConverter& operator=(const CRecordConverter&) = delete;

    // 1. Desktop row under the cursor -> raw record (whose data buffer the caller allocated).
    virtual int32_t ToRawRecord(CBaseRecord& cursor, RawRecord& raw);
    // 2. Raw record -> the desktop row under the cursor.
    virtual int32_t FromRawRecord(CBaseRecord& cursor, RawRecord& raw);
    // 3. Adds the block's categories to the manager.
    virtual int32_t ReadCategories(AppInfoBlock& block, CCategoryMgr& categories);
    // 4. Writes the manager's categories into the block's buffer.
    virtual int32_t WriteCategories(AppInfoBlock& block, CCategoryMgr& categories);
    // 5. Called right after the handheld categories are read; the desktop table may be null.
    virtual void AfterAppInfoRead(AppInfoBlock& block, CBaseTable* desktopTable, int32_t syncType,
                                  int32_t firstSyncIndicator);
    // 6. Reverses the byte order of each id the map returned, in place: at most entriesReturned
    // ids and never more than the map's buffer holds (bufferSize / 4). Nothing when the map has no
    // buffer or returned no entries. Always 0.
    virtual int32_t SwapPositionMap(PositionMap& map);

protected:
    // The 8192-byte text buffer, zero-filled when the converter is made; handheld-to-desktop text is
    // built here. Null only when it could not be allocated (the converter then uses scratch buffers).
    char* TextBuffer() { return textBuffer_.get(); }

private:
    std::unique_ptr<char[]> textBuffer_;
};

// The memo converter. The cursors may be CMemoRecord or plain CBaseRecord cursors on a memo table.
//
// ToRawRecord (cursor, raw): id, category and attributes (0x10 private, 0x08 archived, 0x80 deleted,
//   0x40 modified or added; every other bit 0) from the row; the text in handheld form (see
//   memotext::ToHandheldText) followed by a NUL into raw.buffer, data size = its length + 1.
//   Returns the result of GetMemo (kTableNotBound for an unbound cursor), or kErrTextTooLong when
//   the text with its NUL needs more than raw.bufferSize bytes (nothing is written to the buffer
//   then and the data size is 0).
// FromRawRecord (cursor, raw): id and category (sign-extended) to the row, archive and private
//   flags from 0x08 and 0x10, status 0, then 4 for 0x80 or else 2 for 0x40. A deleted record's text
//   is not copied and the result is that of the last SetStatus. Otherwise the raw text (read up to
//   its first NUL, never past dataSize or bufferSize) is translated to desktop form (see
//   memotext::ToDesktopText) and stored with SetMemo, whose result is returned; a text too long
//   for the text buffer is built whole in a scratch buffer (kErrNoTextBuffer if that fails).
// ReadCategories (block, categories): 4110 when the block has no buffer; else 0. Each non-empty
//   name slot i (read within the block's bufferSize, at most 15 characters) becomes a category with
//   index i, that name, id byte i and the name-dirty flag from bit i; one the manager refuses is
//   deleted.
// WriteCategories (block, categories): 4109 when the block has no buffer; else 0. Dirty bits 0, all
//   slots and ids zeroed, then slot j and id byte j for each category at index j (name cut to 15
//   characters, low 8 bits of the id). Bytes from offset 274 on, and bytes past bufferSize, are left
//   as they are.
class CMemoConverter : public CRecordConverter {
public:
    CMemoConverter() = default;
    ~CMemoConverter() override;

    int32_t ToRawRecord(CBaseRecord& cursor, RawRecord& raw) override;
    int32_t FromRawRecord(CBaseRecord& cursor, RawRecord& raw) override;
    int32_t ReadCategories(AppInfoBlock& block, CCategoryMgr& categories) override;
    int32_t WriteCategories(AppInfoBlock& block, CCategoryMgr& categories) override;

    // True when the desktop text's handheld form with its NUL fits a data buffer of that many
    // bytes, i.e. when ToRawRecord would not refuse it with kErrTextTooLong. Lets the passes tell a
    // memo that is too long for the handheld from other conversion failures.
    static bool FitsHandheldRecord(std::string_view desktopText, size_t bufferSize = kRecordBufferSize);
};
