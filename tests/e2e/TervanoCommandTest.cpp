// End-to-end tests of the `tervano` command: each drives the built command as a subprocess on a
// temporary prefix, the way a user or a script does, and checks what lands on both sides.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "MiniJson.h"
#include "TempPrefix.h"

namespace fs = std::filesystem;
using tervano::test::Json;
using tervano::test::JsonReader;

namespace {

constexpr char kUser[] = "Tester";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> Texts(const Json& list) {
    std::vector<std::string> texts;
    for (const Json& item : list.items) texts.push_back(item["text"].text);
    std::sort(texts.begin(), texts.end());
    return texts;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class TervanoCommand : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = prefix_.Root() / "device";
        work_ = prefix_.MakeDir("work");
        ASSERT_EQ(Run({"setup"}).status, 0);
    }

    Result Run(const std::vector<std::string>& args, const std::string& input = "") {
        std::ofstream(work_ / "in", std::ios::binary) << input;
        std::string line = Quote(TERVANO_EXE);
        for (const std::string& arg : args) line += " " + Quote(arg);
        line += " <" + Quote((work_ / "in").string()) + " >" + Quote((work_ / "out").string()) + " 2>" +
                Quote((work_ / "err").string());
        const int raw = std::system(line.c_str());
        Result result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = ReadAll(work_ / "out");
        result.err = ReadAll(work_ / "err");
        return result;
    }
    Result Handheld(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"handheld", "--device", device_.string()});
        return Run(args, input);
    }
    Result Desktop(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"desktop", "--user", kUser});
        return Run(args, input);
    }
    Result Sync(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"sync", "--device", device_.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }
    Json ParseOut(const Result& result) {
        EXPECT_EQ(result.status, 0) << result.err;
        std::optional<Json> json = JsonReader::Parse(result.out);
        EXPECT_TRUE(json.has_value()) << "not JSON:\n" << result.out;
        return json.value_or(Json{});
    }
    Json HandheldList() { return ParseOut(Handheld({"list", "--json"})); }
    Json DesktopList() { return ParseOut(Desktop({"list", "--json"})); }
    uint32_t AddOnHandheld(const std::string& text, const std::string& category = "") {
        std::vector<std::string> args = {"add", "--json"};
        if (!category.empty()) args.insert(args.end(), {"--category", category});
        args.push_back(text);
        return static_cast<uint32_t>(ParseOut(Handheld(args))["id"].Int());
    }
    // A device with memos in two categories (one of them new on the handheld), synced once.
    void MakeSyncedDevice() {
        ASSERT_EQ(Handheld({"init", "--user", kUser}).status, 0);
        ASSERT_EQ(Handheld({"category", "add", "Travel"}).status, 0);
        ids_.push_back(AddOnHandheld("Call the bank", "Business"));
        ids_.push_back(AddOnHandheld("Pack sunscreen\nand the charger", "Travel"));
        ids_.push_back(AddOnHandheld("Milk, bread"));
        ids_.push_back(AddOnHandheld("Notes for the meeting", "Business"));
        const Result sync = Sync();
        ASSERT_EQ(sync.status, 0) << sync.out << sync.err;
    }
    fs::path DesktopFolder() const { return prefix_.DriveC() / "Pilot" / kUser / "memopad"; }

    tervano::test::TempPrefix prefix_;
    fs::path device_;
    fs::path work_;
    std::vector<uint32_t> ids_;
};

TEST_F(TervanoCommand, FirstSlowSyncBringsTheHandheldsMemosAndCategoriesToAnEmptyDesktop) {
    MakeSyncedDevice();
    EXPECT_TRUE(fs::exists(DesktopFolder() / "memopad.dat"));
    EXPECT_TRUE(fs::exists(DesktopFolder() / "memopad.bak"));  // the copy a later slow sync compares with
    const std::vector<std::string> desktop = Texts(DesktopList());
    EXPECT_EQ(desktop, (std::vector<std::string>{"Call the bank", "Milk, bread", "Notes for the meeting",
                                                 "Pack sunscreen\nand the charger"}));
    const Json list = DesktopList();
    for (const Json& memo : list.items) {
        EXPECT_EQ(memo["status"].text, "none");
        if (memo["text"].text == "Pack sunscreen\nand the charger") {
            EXPECT_EQ(memo["categoryName"].text, "Travel");
        }
        if (memo["text"].text == "Call the bank") {
            EXPECT_EQ(memo["categoryName"].text, "Business");
        }
    }
    const Json categories = ParseOut(Desktop({"categories", "--json"}));
    std::vector<std::string> names;
    for (const Json& c : categories.items) names.push_back(c["name"].text);
    EXPECT_TRUE(Contains(names, "Travel") && Contains(names, "Business") && Contains(names, "Unfiled"));
    for (const Json& memo : HandheldList().items) EXPECT_TRUE(memo["flags"].items.empty()) << memo["text"].text;
    // The handheld now counts as synced with this desktop: the next HotSync is a fast one.
    EXPECT_NE(Sync().out.find("fast sync"), std::string::npos);
}

TEST_F(TervanoCommand, EditsOnBothSidesMeetInAFastSync) {
    MakeSyncedDevice();
    ASSERT_EQ(Handheld({"edit", std::to_string(ids_[0]), "Call the bank at 9"}).status, 0);
    ASSERT_EQ(Handheld({"delete", std::to_string(ids_[2])}).status, 0);
    ASSERT_EQ(Desktop({"edit", "id=" + std::to_string(ids_[3]), "Notes for the meeting\nwith Zoë"}).status, 0);
    ASSERT_EQ(Desktop({"add", "--category", "Travel", "Book the café €12"}).status, 0);

    const Result sync = Sync();
    ASSERT_EQ(sync.status, 0) << sync.out << sync.err;
    EXPECT_NE(sync.out.find("fast sync"), std::string::npos) << sync.out;

    const std::vector<std::string> expected = {"Book the café €12", "Call the bank at 9", "Notes for the meeting\nwith Zoë",
                                               "Pack sunscreen\nand the charger"};
    EXPECT_EQ(Texts(HandheldList()), expected);
    EXPECT_EQ(Texts(DesktopList()), expected);
    // The desktop row made on the desktop reached the handheld with an id of its own.
    for (const Json& memo : DesktopList().items) EXPECT_NE(memo["id"].Int(), 0) << memo["text"].text;
}

TEST_F(TervanoCommand, AMemoChangedDifferentlyOnBothSidesIsDuplicated) {
    MakeSyncedDevice();
    ASSERT_EQ(Handheld({"edit", std::to_string(ids_[0]), "Call the bank: handheld"}).status, 0);
    ASSERT_EQ(Desktop({"edit", "id=" + std::to_string(ids_[0]), "Call the bank: desktop"}).status, 0);
    const Result sync = Sync();
    ASSERT_EQ(sync.status, 0) << sync.out << sync.err;
    EXPECT_NE(sync.out.find("modified on both"), std::string::npos) << sync.out;
    for (const std::vector<std::string>& side : {Texts(HandheldList()), Texts(DesktopList())}) {
        EXPECT_TRUE(Contains(side, "Call the bank: handheld"));
        EXPECT_TRUE(Contains(side, "Call the bank: desktop"));
        EXPECT_EQ(side.size(), 5u);
    }
    const Result log = Run({"log", "--user", kUser});
    EXPECT_EQ(log.status, 0);
    EXPECT_NE(log.out.find("modified on both"), std::string::npos) << log.out;
}

TEST_F(TervanoCommand, ArchivedMemosLandInTheirCategorysArchiveFile) {
    MakeSyncedDevice();
    ASSERT_EQ(Handheld({"archive", std::to_string(ids_[0])}).status, 0);              // Business
    ASSERT_EQ(Desktop({"archive", "id=" + std::to_string(ids_[1])}).status, 0);        // Travel
    const Result sync = Sync();
    ASSERT_EQ(sync.status, 0) << sync.out << sync.err;

    const Result business = Run({"desktop", "--file", (DesktopFolder() / "Business.MPA").string(), "list", "--json"});
    EXPECT_EQ(Texts(ParseOut(business)), std::vector<std::string>{"Call the bank"});
    const Result travel = Run({"desktop", "--file", (DesktopFolder() / "Travel.MPA").string(), "list", "--json"});
    EXPECT_EQ(Texts(ParseOut(travel)), std::vector<std::string>{"Pack sunscreen\nand the charger"});
    const std::vector<std::string> left = {"Milk, bread", "Notes for the meeting"};
    EXPECT_EQ(Texts(HandheldList()), left);
    EXPECT_EQ(Texts(DesktopList()), left);
}

TEST_F(TervanoCommand, RenamedCategoriesReachTheOtherSide) {
    MakeSyncedDevice();
    ASSERT_EQ(Handheld({"category", "rename", "Business", "Work"}).status, 0);
    ASSERT_EQ(Desktop({"category", "rename", "Travel", "Trips"}).status, 0);
    ASSERT_EQ(Sync().status, 0);
    for (const Json& categories : {ParseOut(Handheld({"categories", "--json"})), ParseOut(Desktop({"categories", "--json"}))}) {
        std::vector<std::string> names;
        for (const Json& c : categories.items) {
            names.push_back(c["name"].text);
            EXPECT_FALSE(c["nameDirty"].boolean) << c["name"].text;
        }
        EXPECT_TRUE(Contains(names, "Work") && Contains(names, "Trips")) << ::testing::PrintToString(names);
        EXPECT_FALSE(Contains(names, "Business") || Contains(names, "Travel"));
    }
    for (const Json& memo : DesktopList().items)
        if (memo["text"].text == "Call the bank") {
            EXPECT_EQ(memo["categoryName"].text, "Work");
        }
}

TEST_F(TervanoCommand, AWholeCopyEachWayMakesOneSideTheOthersCopy) {
    MakeSyncedDevice();
    ASSERT_EQ(Desktop({"edit", "id=" + std::to_string(ids_[2]), "Desktop only"}).status, 0);
    ASSERT_EQ(Sync({"--sync", "handheld-to-desktop"}).status, 0);
    EXPECT_EQ(Texts(DesktopList()), Texts(HandheldList()));
    EXPECT_FALSE(Contains(Texts(DesktopList()), "Desktop only"));

    ASSERT_EQ(Handheld({"edit", std::to_string(ids_[2]), "Handheld only"}).status, 0);
    ASSERT_NE(AddOnHandheld("Also handheld only"), 0u);
    ASSERT_EQ(Sync({"--sync", "desktop-to-handheld"}).status, 0);
    EXPECT_EQ(Texts(HandheldList()), Texts(DesktopList()));
    EXPECT_FALSE(Contains(Texts(HandheldList()), "Handheld only"));
    EXPECT_EQ(Texts(HandheldList()).size(), 4u);
}

TEST_F(TervanoCommand, ADamagedDatabaseFileIsRefusedAndLeftAsItWas) {
    MakeSyncedDevice();
    const fs::path pdb = device_ / "MemoDB.pdb";
    std::string bytes = ReadAll(pdb);
    ASSERT_GT(bytes.size(), 100u);
    bytes.resize(60);  // cut inside the header
    std::ofstream(pdb, std::ios::binary | std::ios::trunc) << bytes;
    const std::string ini = ReadAll(device_ / "device.ini");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"sync", "--device", device_.string()},
          std::vector<std::string>{"handheld", "--device", device_.string(), "add", "x"}}) {
        const Result result = Run(args);
        EXPECT_NE(result.status, 0) << args[0];
        EXPECT_NE(result.err.find("MemoDB.pdb"), std::string::npos) << result.err;
        EXPECT_EQ(ReadAll(pdb), bytes) << args[0];
        EXPECT_EQ(ReadAll(device_ / "device.ini"), ini) << args[0];
    }
}

// A HotSync that fails part-way may leave the sides out of step; the next one reads every record
// (slow), and after it succeeds HotSyncs are fast again.
TEST_F(TervanoCommand, AFailedHotSyncIsFollowedByASlowOne) {
    MakeSyncedDevice();
    const fs::path file = DesktopFolder() / "memopad.dat";
    const std::string good = ReadAll(file);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "not a memo file";
    const Result failed = Sync();
    EXPECT_NE(failed.status, 0) << failed.out;
    EXPECT_NE(failed.out.find("fast sync"), std::string::npos) << failed.out;

    std::ofstream(file, std::ios::binary | std::ios::trunc) << good;
    const Result again = Sync();
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("slow sync"), std::string::npos) << again.out;
    EXPECT_NE(Sync().out.find("fast sync"), std::string::npos);
}

TEST_F(TervanoCommand, SetupRunTwiceChangesNothing) {
    const fs::path program = prefix_.DriveC() / "Program Files" / "Tervano Mail";
    const std::vector<fs::path> files = {prefix_.Root() / "user.reg", prefix_.Root() / "system.reg", program / "tervano.ini",
                                         program / "tervano2.dll", program / "tervstr.ini",
                                         prefix_.DriveC() / "Program Files" / "Accessories" / "WordPad.exe"};
    std::vector<std::string> before;
    for (const fs::path& file : files) {
        ASSERT_TRUE(fs::exists(file)) << file;
        before.push_back(ReadAll(file));
    }
    const Result again = Run({"setup"});
    ASSERT_EQ(again.status, 0) << again.err;
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(ReadAll(files[i]), before[i]) << files[i];
    EXPECT_NE(before[0].find("\"AppName\"=\"Tervano Mail v1\""), std::string::npos);
    EXPECT_NE(before[0].find("\"Creator\"=dword:6d656d6f"), std::string::npos);
    EXPECT_NE(before[1].find("\"Path\"=\"C:\\\\Program Files\\\\Tervano Mail\\\\Tervano Mail.exe\""), std::string::npos);
}

TEST_F(TervanoCommand, EveryCommandAnswersHelp) {
    const std::vector<std::vector<std::string>> commands = {
        {"--help"}, {"setup", "--help"}, {"sync", "--help"}, {"configure", "--help"}, {"log", "--help"},
        {"handheld", "--help"}, {"desktop", "--help"}, {"demo", "--help"}};
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command.front());
        const Result result = Run(command);
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.out.find("usage: tervano"), std::string::npos) << result.out;
    }
    const Result unknown = Run({"frobnicate"});
    EXPECT_NE(unknown.status, 0);
    EXPECT_NE(unknown.err.find("unknown command"), std::string::npos);
}

TEST_F(TervanoCommand, JsonOutputParsesWithTheDescribedFields) {
    ASSERT_EQ(Handheld({"init", "--user", kUser}).status, 0);
    const uint32_t id = AddOnHandheld("Quote \" backslash \\ tab\t and é", "Personal");
    ASSERT_EQ(Handheld({"add", "--private", "Secret"}).status, 0);
    const Json shown = ParseOut(Handheld({"show", std::to_string(id), "--json"}));
    EXPECT_EQ(shown["text"].text, "Quote \" backslash \\ tab\t and é");
    EXPECT_EQ(shown["categoryName"].text, "Personal");
    EXPECT_EQ(shown["category"].Int(), 2);
    ASSERT_EQ(shown["flags"].items.size(), 1u);
    EXPECT_EQ(shown["flags"].items[0].text, "dirty");
    bool sawPrivate = false;
    for (const Json& memo : HandheldList().items)
        for (const Json& flag : memo["flags"].items) sawPrivate |= flag.text == "private";
    EXPECT_TRUE(sawPrivate);
    ASSERT_EQ(Sync().status, 0);
    const Json desktop = DesktopList();
    ASSERT_EQ(desktop.items.size(), 2u);
    for (const Json& memo : desktop.items) {
        EXPECT_EQ(memo["row"].kind, Json::Kind::Number);
        EXPECT_EQ(memo["archived"].kind, Json::Kind::Bool);
        if (memo["text"].text == "Secret") {
            EXPECT_TRUE(memo["private"].boolean);
        }
    }
    EXPECT_EQ(ParseOut(Handheld({"categories", "--json"})).items.size(), 3u);  // Unfiled, Business, Personal
}

TEST_F(TervanoCommand, DesktopEditsWaitUntilTheHotSyncReleasesTheFile) {
    MakeSyncedDevice();
    // Hold the lock a HotSync holds while it runs.
    const fs::path lock = DesktopFolder() / "memopad.dat.lock";
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const std::string before = ReadAll(DesktopFolder() / "memopad.dat");
    const Result refused = Desktop({"add", "Written during a sync"});
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("in use by a HotSync"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadAll(DesktopFolder() / "memopad.dat"), before);
    EXPECT_EQ(Desktop({"list"}).status, 0);  // reading goes on
    const Result sync = Sync();
    EXPECT_NE(sync.status, 0);  // and a second HotSync cannot start either
    ::close(fd);
    EXPECT_EQ(Desktop({"add", "Written after the sync"}).status, 0);
}

TEST_F(TervanoCommand, AChoiceForTheNextHotSyncIsUsedOnce) {
    MakeSyncedDevice();
    // Action 2 (handheld overwrites desktop), not made the default.
    const Result configured = Run({"configure", "--user", kUser}, "2\nn\n");
    ASSERT_EQ(configured.status, 0) << configured.out << configured.err;
    const Result first = Sync();
    EXPECT_NE(first.out.find("handheld-to-desktop sync"), std::string::npos) << first.out;
    const Result second = Sync();
    EXPECT_NE(second.out.find("fast sync"), std::string::npos) << second.out;
    // Made the default, it stays.
    ASSERT_EQ(Run({"configure", "--user", kUser}, "2\ny\n").status, 0);
    for (int i = 0; i < 2; ++i) EXPECT_NE(Sync().out.find("handheld-to-desktop sync"), std::string::npos);
    EXPECT_NE(Run({"configure", "--user", kUser}, "q\n").status, 0);  // cancelled: nothing changes
}

TEST_F(TervanoCommand, ADeviceOfAnotherUserIsRefused) {
    MakeSyncedDevice();
    const Result result = Sync({"--user", "Someone Else"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("belongs to user"), std::string::npos) << result.err;
}

}  // namespace
