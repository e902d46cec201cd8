// Writes the fuzz targets' starting inputs into <corpus>/<target>/ (usually fuzz/corpus), each made
// by the project's own writers: a device image's MemoDB.pdb and device.ini, a saved desktop table, a
// registry file written through the registry calls, an INI written through the profile calls, memo
// texts, application-info blocks and string-file texts. Run: fuzz_make_seeds fuzz/corpus
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "FuzzSupport.h"
#include "memo/MemoConverter.h"
#include "synckit/DeviceImage.h"
#include "synckit/PdbFile.h"
#include "synckit/Table.h"
#include "win/Profile.h"
#include "win/Registry.h"

namespace fs = std::filesystem;

namespace {

fs::path gOut;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const fs::path folder = gOut / target;
    fs::create_directories(folder);
    fuzz::WriteFile(folder / name, bytes);
}

std::string Must(const std::optional<std::string>& bytes, const char* what) {
    if (!bytes) {
        std::fprintf(stderr, "cannot read %s\n", what);
        std::exit(1);
    }
    return *bytes;
}

// A length byte and the text, as fuzz::Input::Text reads it.
std::string Field(const std::string& text) { return std::string(1, static_cast<char>(text.size())) + text; }
std::string U16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string U32(uint32_t v) { return U16(static_cast<uint16_t>(v)) + U16(static_cast<uint16_t>(v >> 16)); }

void DeviceSeeds(const fs::path& scratch) {
    const fs::path device = scratch / "device";
    if (!synckit::DeviceImage::Init(device, "Seed User", "3.5").ok()) std::exit(1);
    Seed("pdb", "new_memodb.pdb", Must(fuzz::ReadFile(device / "MemoDB.pdb"), "MemoDB.pdb"));
    const std::string ini = Must(fuzz::ReadFile(device / synckit::kDeviceIniName), "device.ini");
    Seed("device_ini", "new_device.ini", ini);

    synckit::DeviceInfo info{"Ann \"Q\" Smith", "4.1.2", 123456};
    std::string error;
    auto crlf = synckit::UpdateDeviceIni("; kept\r\n[Other]\r\nUserName=x\r\n\r\n[device]\r\n  romversion = 3.3 \r\n",
                                         info, &error);
    if (!crlf) std::exit(1);
    Seed("device_ini", "crlf_device.ini", *crlf);
    Seed("device_ini", "rom_version", "3.5.1");

    // A memo database with records of each kind the handheld keeps, and one with sort info.
    synckit::PdbDatabase db;
    db.name = synckit::kMemoDbName;
    db.type = synckit::kMemoDbType;
    db.creator = synckit::kMemoDbCreator;
    db.version = 1;
    db.uniqueIdSeed = 0x100;
    db.appInfo = synckit::DefaultMemoAppInfo();
    db.records.push_back({0x40 | 1, 0x10, std::string("Business memo\nsecond line", 25) + '\0'});
    db.records.push_back({0x10 | 2, 0x11, std::string("Private\n") + '\0'});
    db.records.push_back({0x80, 0x12, std::string("archived") + '\0'});
    db.records.push_back({0x80, 0x13, ""});
    auto written = synckit::SerializePdb(db);
    if (!written.error.empty()) std::exit(1);
    Seed("pdb", "memodb_records.pdb", written.bytes);
    db.sortInfo = std::string("\x01\x02\x03", 3);
    db.name = "OtherDB";
    Seed("pdb", "with_sort_info.pdb", synckit::SerializePdb(db).bytes);
}

// A saved table file repacked with 512-byte pages (its contents unchanged), so the seed stays a few
// KB; the table library must still open it with every row.
std::string Repacked(const char* windowsPath, const fs::path& file, int32_t rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, "PRAGMA page_size=512; VACUUM;", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot repack %s\n", file.c_str());
        std::exit(1);
    }
    sqlite3_close(db);
    CMemoTable check;
    if (check.OpenFrom(windowsPath, 0) != 0 || check.GetRecordCount() != rows) {
        std::fprintf(stderr, "repacked %s does not open\n", file.c_str());
        std::exit(1);
    }
    return Must(fuzz::ReadFile(file), file.c_str());
}

void TableSeeds() {
    const fs::path driveC = fuzz::Prefix() / "drive_c";
    CMemoTable table;
    if (table.SaveTo("C:\\empty.dat") != 0) std::exit(1);
    Seed("table", "empty.dat", Repacked("C:\\empty.dat", driveC / "empty.dat", 0));

    const char* texts[] = {"First memo\r\nwith two lines", "", "\xE9t\xE9 \x80 \xFF", "archived one"};
    const int32_t statuses[] = {kStatusNone, kStatusAdded, kStatusModified, kStatusDeleted};
    for (int i = 0; i < 4; ++i) {
        CMemoRecord row(table, 0);
        table.CreateRecord(row);
        row.SetRecordId(static_cast<uint32_t>(0x100 + i));
        row.SetStatus(statuses[i]);
        row.SetArchiveBit(i == 3);
        row.SetPrivate(i == 1);
        row.SetCategoryId(i % 3);
        row.SetPlacementPos(i);
        row.SetMemo(texts[i]);
    }
    const char* names[] = {"Unfiled", "Business", "Personal"};
    for (int i = 0; i < 3; ++i) {
        auto* category = new CCategory;
        category->SetIndex(i);
        category->SetID(i);
        category->SetName(names[i]);
        category->SetNameDirty(i == 2);
        if (table.GetCategoryManager()->Add(category) != CAT_OK) std::exit(1);
    }
    if (table.SaveTo("C:\\memos.dat") != 0) std::exit(1);
    Seed("table", "memos.dat", Repacked("C:\\memos.dat", driveC / "memos.dat", 4));
}

void RegistrySeeds() {
    using namespace win;
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Seed Vendor\\Desktop\\Application5", 0, nullptr, 0,
                       KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        std::exit(1);
    }
    const char conduit[] = "C:\\Apps\\tervano2.dll";
    RegSetValueEx(key, "Conduit", 0, REG_SZ, reinterpret_cast<const BYTE*>(conduit), sizeof conduit);
    const BYTE creator[4] = {0x6f, 0x6d, 0x65, 0x6d};
    RegSetValueEx(key, "Creator", 0, REG_DWORD, creator, 4);
    const char quoted[] = "say \"hi\"";
    RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(quoted), sizeof quoted);
    const BYTE raw[5] = {1, 2, 0, 0xFE, 0xFF};
    RegSetValueEx(key, "Raw", 0, REG_BINARY, raw, sizeof raw);
    const char control[] = "tab\there";
    RegSetValueEx(key, "Control", 0, REG_SZ, reinterpret_cast<const BYTE*>(control), sizeof control);
    RegSetValueEx(key, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(conduit), sizeof conduit);
    RegCloseKey(key);
    std::string text = Must(fuzz::ReadFile(fuzz::Prefix() / "user.reg"), "user.reg");
    Seed("registry", "written.reg", text);
    Seed("registry", "comments_crlf.reg",
         "REGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n\"Long\"=hex:01,02,\\\r\n  03,04\r\n"
         "@=dword:00000001\r\n");
}

void ProfileSeeds() {
    const fs::path ini = fuzz::Prefix() / "drive_c" / "windows" / "seed.ini";
    win::WritePrivateProfileString("Settings", "Folder", "C:\\Mail\\Out", "seed.ini");
    win::WritePrivateProfileString("Settings", "Count", "12abc", "seed.ini");
    win::WritePrivateProfileString("Strings", "12", "\" (Part %d of %d)\"", "seed.ini");
    const std::string content = Must(fuzz::ReadFile(ini), "seed.ini");
    // section, key, value, buffer size, delete choice, file.
    Seed("profile", "existing_key", Field("Settings") + Field("Folder") + Field("D:\\New") + "\x08" + "\x01" + content);
    Seed("profile", "new_section", Field("Other") + Field("Key") + Field("v") + "\x40" + "\x00" + content);
    Seed("profile", "crlf_no_end", Field("a") + Field("b") + Field("c") + "\x03" + "\x01" +
                                       "; c\r\n[A]\r\n b = ' x ' \r\nb=second\r\n[a]\r\nlast=1");
}

void MemoSeeds() {
    Seed("memo_text", "crlf", "line one\r\nline two\r\n");
    Seed("memo_text", "lf", "line one\nline two");
    Seed("memo_text", "mixed", std::string("a\r\r\nb\rc\n\0tail\r", 14));

    // attributes, category, id, size mode, output size, data.
    Seed("memo_converter", "dirty_text",
         std::string("\x40") + U16(2) + U32(0x123456) + "\x11" + U16(200) + "Shopping\nmilk" + std::string(1, '\0'));
    Seed("memo_converter", "private_archived",
         std::string("\x18") + U16(0xFFFF) + U32(7) + "\x01" + U16(3) + "a\r\nb");
    Seed("memo_converter", "deleted", std::string("\x80") + U16(1) + U32(9) + "\x20" + U16(50) + "gone");

    CMemoConverter converter;
    CCategoryMgr categories;
    const char* names[] = {"Unfiled", "Business", "Personal", "A name of 15 ch"};
    for (int i = 0; i < 4; ++i) {
        auto* c = new CCategory;
        c->SetIndex(i == 3 ? 15 : i);
        c->SetID(i == 3 ? 200 : i);
        c->SetName(names[i]);
        categories.Add(c);
    }
    std::string block = synckit::DefaultMemoAppInfo();
    AppInfoBlock info{};
    info.bufferSize = static_cast<uint16_t>(block.size());
    info.buffer = reinterpret_cast<uint8_t*>(block.data());
    converter.WriteCategories(info, categories);
    Seed("app_info", "default_block", synckit::DefaultMemoAppInfo());
    Seed("app_info", "written_block", block);
    Seed("app_info", "short_block", block.substr(0, 40));
    Seed("app_info", "position_map", U16(3) + U16(16) + std::string("\x00\x00\x01\x02\x00\x00\x01\x03", 8));
}

void FormatSeeds() {
    auto values = U32(4111) + U32(static_cast<uint32_t>(-1)) + U32(0x7FFFFFFF) + U32(0);
    Seed("safe_format", "part", std::string("\x02") + values + U16(1024) + " (Part %d of %d)");
    Seed("safe_format", "flags", std::string("\x04") + values + U16(100) + "%-8.3ld|%#x|%+05i|%o%%|%s|%n|%*d|%");
    Seed("safe_format", "cut", std::string("\x01") + values + U16(5) + "Error %u while syncing");
    // One conversion compared with the C library: shape (width, precision, 'l', type), flags.
    Seed("safe_format", "one_conversion", std::string("\x80") + values + "\x0f" + "\x02" + "\x00\x03" + U16(12) + U16(4));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    gOut = fs::absolute(argv[1]);
    const fs::path scratch = fuzz::Prefix();
    DeviceSeeds(scratch);
    TableSeeds();
    RegistrySeeds();
    ProfileSeeds();
    MemoSeeds();
    FormatSeeds();
    fs::remove_all(scratch);
    std::printf("seeds written to %s\n", gOut.c_str());
    return 0;
}
