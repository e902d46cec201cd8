// Fuzz target: the memo record converter, handheld record -> desktop row -> handheld record, with
// ids, attributes, sizes and the data bytes from the input. Buffers are allocated to exactly the
// size the record claims, so a read or write past one shows; the round trip gives back the text of
// a record without CR, and a text that does not fit is refused without touching the buffer.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "memo/MemoConverter.h"
#include "memo/MemoText.h"
#include "synckit/Table.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t attributes = in.Byte();
    const int16_t category = static_cast<int16_t>(in.U16());
    const uint32_t recordId = in.U32();
    const uint8_t sizeMode = in.Byte();
    const uint16_t outSizeChoice = in.U16();
    const bool plainCursor = (sizeMode & 0x80) != 0;
    const std::string bytes = in.Rest();

    // The record's claimed sizes: the true ones, or arbitrary ones either side of the data.
    const uint16_t bufferSize = static_cast<uint16_t>(
        (sizeMode & 1) ? std::min<size_t>(bytes.size(), 0xFFFF) : (bytes.size() + (sizeMode & 0x0E)) & 0xFFFF);
    const uint32_t dataSize = (sizeMode & 0x10) ? bufferSize : (sizeMode & 0x20) ? 0xFFFFFFFFu : bytes.size() / 2;
    auto buffer = std::make_unique<uint8_t[]>(bufferSize);
    std::memcpy(buffer.get(), bytes.data(), std::min<size_t>(bytes.size(), bufferSize));

    CMemoTable table;
    CMemoRecord memoCursor(table, 0);
    FUZZ_CHECK(table.CreateRecord(memoCursor) == 0);
    FUZZ_CHECK(memoCursor.SetMemo("prior text") == 0);
    CBaseRecord baseCursor(table, 0);
    baseCursor.Bind(memoCursor.Row());
    CBaseRecord& cursor = plainCursor ? baseCursor : memoCursor;

    CMemoConverter converter;
    RawRecord raw{};
    raw.recordId = recordId;
    raw.attributes = attributes;
    raw.category = category;
    raw.dataSize = dataSize;
    raw.bufferSize = bufferSize;
    raw.buffer = buffer.get();
    const int32_t fromResult = converter.FromRawRecord(cursor, raw);
    FUZZ_CHECK(fromResult == 0);

    uint32_t id = 0;
    FUZZ_CHECK(cursor.GetRecordId(id) == 0 && id == recordId);
    int32_t rowCategory = 0;
    FUZZ_CHECK(cursor.GetCategoryId(rowCategory) == 0 && rowCategory == category);
    FUZZ_CHECK((cursor.IsArchived() != 0) == ((attributes & kRecAttrArchived) != 0));
    FUZZ_CHECK((memoCursor.IsPrivate() != 0) == ((attributes & kRecAttrPrivate) != 0));
    int32_t status = -1;
    FUZZ_CHECK(cursor.GetStatus(status) == 0);
    const bool deleted = (attributes & kRecAttrDeleted) != 0;
    FUZZ_CHECK(status == (deleted ? kStatusDeleted : (attributes & kRecAttrDirty) ? kStatusModified : kStatusNone));

    const std::string_view handheldText = memotext::UpToNul(
        std::string_view(reinterpret_cast<const char*>(buffer.get()), std::min<size_t>(dataSize, bufferSize)));
    std::string rowText;
    FUZZ_CHECK(memoCursor.GetMemo(rowText) == 0);
    FUZZ_CHECK(rowText == (deleted ? std::string("prior text") : memotext::ToDesktopText(handheldText)));

    // Back to the handheld, into a buffer of a size from the input (allocated to exactly that size).
    const uint16_t outSize = static_cast<uint16_t>(outSizeChoice % (rowText.size() + 3));
    auto outBuffer = std::make_unique<uint8_t[]>(outSize);
    std::memset(outBuffer.get(), 0xA5, outSize);
    RawRecord back{};
    back.bufferSize = outSize;
    back.buffer = outBuffer.get();
    const int32_t toResult = converter.ToRawRecord(cursor, back);
    FUZZ_CHECK(back.recordId == recordId);
    FUZZ_CHECK(back.category == category);
    uint8_t expected = attributes & (kRecAttrArchived | kRecAttrPrivate | kRecAttrDeleted);
    if (!deleted && (attributes & kRecAttrDirty)) expected |= kRecAttrDirty;
    FUZZ_CHECK(back.attributes == expected);

    const std::string handheldForm = memotext::ToHandheldText(rowText);
    if (handheldForm.size() + 1 > outSize) {
        FUZZ_CHECK(toResult == kErrTextTooLong);
        FUZZ_CHECK(back.dataSize == 0);
        for (size_t i = 0; i < outSize; ++i) FUZZ_CHECK(outBuffer[i] == 0xA5);
        FUZZ_CHECK(!CMemoConverter::FitsHandheldRecord(rowText, outSize));
        return 0;
    }
    FUZZ_CHECK(toResult == 0);
    FUZZ_CHECK(CMemoConverter::FitsHandheldRecord(rowText, outSize));
    FUZZ_CHECK(back.dataSize == handheldForm.size() + 1);
    FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(outBuffer.get()), handheldForm.size()) == handheldForm);
    FUZZ_CHECK(outBuffer[handheldForm.size()] == 0);
    if (!deleted && handheldText.find('\r') == std::string_view::npos) FUZZ_CHECK(handheldForm == handheldText);
    return 0;
}
