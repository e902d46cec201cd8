// Fuzz target: the desktop table file loader. The input is written as C:\fuzz.dat in the prefix and
// opened. Whatever the answer, the file and its folder are left byte for byte as they were; a refused
// file leaves the table as it was; an accepted one saves, and the saved file opens with the same rows
// and categories.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "FuzzSupport.h"
#include "synckit/Table.h"

namespace {

namespace fs = std::filesystem;

struct Row {
    uint32_t id = 0;
    int32_t status = 0;
    int32_t archived = 0;
    int32_t isPrivate = 0;
    int32_t category = 0;
    int32_t placement = 0;
    std::string text;
    bool operator==(const Row&) const = default;
};

std::vector<Row> Rows(CMemoTable& table) {
    std::vector<Row> rows;
    CMemoIterator walk(table);
    CMemoRecord cursor(table, 0);
    for (int32_t r = walk.FindFirst(cursor, 0); r == 0; r = walk.FindNext(cursor, 0)) {
        Row row;
        FUZZ_CHECK(cursor.GetRecordId(row.id) == 0);
        FUZZ_CHECK(cursor.GetStatus(row.status) == 0);
        row.archived = cursor.IsArchived();
        row.isPrivate = cursor.IsPrivate();
        FUZZ_CHECK(cursor.GetCategoryId(row.category) == 0);
        FUZZ_CHECK(cursor.GetPlacementPos(row.placement) == 0);
        FUZZ_CHECK(cursor.GetMemo(row.text) == 0);
        rows.push_back(std::move(row));
    }
    FUZZ_CHECK(static_cast<int32_t>(rows.size()) == table.GetRecordCount());
    return rows;
}

using CategoryList = std::vector<std::tuple<int32_t, int32_t, std::string, int32_t>>;

CategoryList Categories(CMemoTable& table) {
    CategoryList list;
    table.GetCategoryManager()->ForEachCategory([&](const CCategory& c) {
        list.emplace_back(c.GetIndex(), c.GetID(), c.GetName(), c.GetNameDirty());
    });
    return list;
}

// Every entry of the folder with its bytes, so a change anywhere in it shows.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] =
            entry.is_regular_file() ? fuzz::ReadFile(entry.path()).value_or("<unreadable>") : "<not a file>";
    }
    return files;
}

// A table with one known row and one category, to show a refused load leaves the table alone.
void FillKnown(CMemoTable& table) {
    CMemoRecord cursor(table, 0);
    FUZZ_CHECK(table.CreateRecord(cursor) == 0);
    FUZZ_CHECK(cursor.SetRecordId(77) == 0);
    FUZZ_CHECK(cursor.SetMemo("kept\r\nrow") == 0);
    auto* category = new CCategory;
    category->SetIndex(3);
    category->SetID(9);
    category->SetName("Kept");
    FUZZ_CHECK(table.GetCategoryManager()->Add(category) == CAT_OK);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Prefix();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path driveC = fuzz::Prefix() / "drive_c";
    const fs::path work = driveC / "work";
    fuzz::EmptyFolder(driveC);
    fs::create_directories(work);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzz::WriteFile(driveC / "fuzz.dat", bytes);
    const auto before = Snapshot(driveC);

    CMemoTable table;
    FillKnown(table);
    const std::vector<Row> knownRows = Rows(table);
    const CategoryList knownCategories = Categories(table);

    const int32_t result = table.OpenFrom("C:\\fuzz.dat", 0);
    FUZZ_CHECK(result == 0 || result == kTableDamaged || result == kTableIoError);
    FUZZ_CHECK(Snapshot(driveC) == before);  // only read, never touched, no journal left behind
    if (result != 0) {
        FUZZ_CHECK(Rows(table) == knownRows);
        FUZZ_CHECK(Categories(table) == knownCategories);
        return 0;
    }

    const std::vector<Row> rows = Rows(table);
    const CategoryList categories = Categories(table);
    FUZZ_CHECK(categories.size() <= 16);
    FUZZ_CHECK(table.SaveTo("C:\\work\\saved.dat") == 0);
    CMemoTable reloaded;
    FUZZ_CHECK(reloaded.OpenFrom("C:\\work\\saved.dat", 0) == 0);
    FUZZ_CHECK(Rows(reloaded) == rows);
    FUZZ_CHECK(Categories(reloaded) == categories);
    return 0;
}
