// `tervano demo`: a whole HotSync on a sample device in a temporary prefix. A first HotSync gives
// the desktop its memos; then both sides change (one memo on both, differently) and a fast
// two-way HotSync brings them together again, with the memos shown before and after.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <system_error>

#include "Args.h"
#include "Commands.h"
#include "Memos.h"
#include "Text.h"
#include "host/HotSync.h"
#include "win/Paths.h"

namespace fs = std::filesystem;

namespace tools {
namespace {

constexpr char kDemoUsage[] =
    "usage: tervano demo [--keep]\n"
    "\n"
    "Runs a whole HotSync on a sample device image and a temporary prefix, made for the purpose:\n"
    "a handheld with a dozen memos that synced with this desktop before, edits on both sides since\n"
    "(one memo edited on both, differently), then a fast two-way HotSync. Shows the memos on both\n"
    "sides before and after, and the HotSync log. --keep leaves the temporary folder in place.\n";

constexpr char kUser[] = "Pat Example";

struct SampleMemo {
    const char* category;
    const char* text;
};
constexpr SampleMemo kSampleMemos[] = {
    {"Business", "Quarterly report\nDraft due Friday; figures from Dana."},
    {"Business", "Call list\n- supplier about the late order\n- bank"},
    {"Business", "Meeting notes 12 March\nBudget approved, hiring on hold."},
    {"Personal", "Groceries\nmilk, bread, coffee, apples"},
    {"Personal", "Birthday gift ideas\nbook, concert tickets"},
    {"Personal", "Dentist on Tuesday, 9:30"},
    {"Ideas", "Garden plan\nTomatoes along the south fence."},
    {"Ideas", "Café names\nThe Daily Grind, Bean There"},
    {"Ideas", "Weekend trip\nTrain to the coast, two nights."},
    {"Unfiled", "Wi-Fi at the office: guest / spring-2024"},
    {"Unfiled", "Books to read\nThe Left Hand of Darkness"},
    {"Unfiled", "Car service at 60 000 km"},
};

std::string Section(const std::string& title) { return "\n=== " + title + " " + std::string(60 - title.size(), '=') + "\n"; }

void ShowHandheld(const fs::path& device) {
    std::string error;
    std::unique_ptr<HandheldMemos> memos = HandheldMemos::Open(device, error);
    if (!memos) {
        std::cout << "  (" << error << ")\n";
        return;
    }
    for (const MemoView& memo : memos->Memos()) {
        std::cout << "  " << memo.id << "  " << memo.categoryName << "  [" << (memo.flags.empty() ? "-" : "")
                  << [&] {
                         std::string joined;
                         for (const std::string& f : memo.flags) joined += (joined.empty() ? "" : ",") + f;
                         return joined;
                     }()
                  << "]  " << FirstLine(memo.text, 48) << "\n";
    }
}

void ShowDesktop(const std::string& path) {
    std::string error;
    std::unique_ptr<DesktopMemos> memos = DesktopMemos::Open(path, false, error);
    if (!memos) {
        std::cout << "  (" << error << ")\n";
        return;
    }
    for (const MemoView& memo : memos->Memos()) {
        std::string flags;
        for (const std::string& f : memo.flags) flags += (flags.empty() ? "" : ",") + f;
        std::cout << "  row " << memo.row << "  id " << memo.id << "  " << memo.categoryName << "  [" << flags << "]  "
                  << FirstLine(memo.text, 44) << "\n";
    }
}

// Builds the sample device, its first HotSync, and the changes since. "" or what failed.
std::string Prepare(const fs::path& device, std::string& desktopFile) {
    std::ostringstream quiet;
    if (std::string error = SetUpPrefix(quiet); !error.empty()) return error;
    if (synckit::DeviceSaveResult made = synckit::DeviceImage::Init(device, kUser, "3.5"); !made.ok()) return made.error;

    std::string error;
    std::vector<uint32_t> ids;
    {
        std::unique_ptr<HandheldMemos> handheld = HandheldMemos::Open(device, error);
        if (!handheld) return error;
        int index = 0;
        if (error = handheld->AddCategory("Ideas", index); !error.empty()) return error;
        for (const SampleMemo& memo : kSampleMemos) {
            uint32_t id = 0;
            if (error = handheld->Add(memo.text, handheld->CategoryIndex(memo.category), false, id); !error.empty()) return error;
            ids.push_back(id);
        }
        if (error = handheld->Save(); !error.empty()) return error;
    }

    // The HotSync that happened some time ago: the desktop got every memo.
    host::HotSyncRequest first;
    first.device = device;
    const host::HotSyncOutcome earlier = host::RunHotSync(first);
    if (!earlier.error.empty()) return earlier.error;
    if (earlier.result != 0) return "the first HotSync failed with code " + std::to_string(earlier.result);
    desktopFile = earlier.desktopFile;

    // Since then, on the handheld...
    {
        std::unique_ptr<HandheldMemos> handheld = HandheldMemos::Open(device, error);
        if (!handheld) return error;
        uint32_t id = 0;
        for (const std::string& step :
             {handheld->Edit(ids[3], "Groceries\nmilk, bread, coffee, apples, cheese"),
              handheld->Edit(ids[0], "Quarterly report\nDraft due Monday (moved on the handheld)."),
              handheld->Add("Parking: level 3, row F", handheld->CategoryIndex("Personal"), false, id),
              handheld->Delete(ids[5]),
              handheld->Archive(ids[2]),
              handheld->RenameCategory("Ideas", "Projects"),
              handheld->Save()}) {
            if (!step.empty()) return step;
        }
    }
    // ... and on the desktop.
    {
        std::unique_ptr<DesktopMemos> desktop = DesktopMemos::Open(desktopFile, true, error);
        if (!desktop) return error;
        uint32_t row = 0;
        auto key = [&](size_t i) { return "id=" + std::to_string(ids[i]); };
        for (const std::string& step :
             {desktop->Edit(key(0), "Quarterly report\nDraft due Thursday (moved on the desktop)."),
              desktop->Edit(key(1), "Call list\n- supplier about the late order\n- bank\n- insurance"),
              desktop->Add("Printer toner: order HP 305", desktop->CategoryIndex("Business"), false, row),
              desktop->Add("Flight to Lisbon, 14 May, 7:40", desktop->CategoryIndex("Personal"), false, row),
              desktop->Delete(key(10)),
              desktop->Save()}) {
            if (!step.empty()) return step;
        }
    }
    return {};
}

}  // namespace

int RunDemo(int argc, char** argv, int first) {
    std::string error;
    const std::optional<Args> args = ParseArgs(argc, argv, first, {}, {"keep"}, error);
    if (!args) return Fail("demo", error + "\n" + kDemoUsage, 2);
    if (args->Has("help")) {
        std::cout << kDemoUsage;
        return 0;
    }
    if (!args->words.empty()) return Fail("demo", "unexpected word \"" + args->words.front() + "\"\n" + kDemoUsage, 2);

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tervano-demo-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return Fail("demo", "cannot make a temporary folder " + pattern);
    const fs::path root = pattern;
    const fs::path device = root / "device";
    ::setenv("TERVANO_PREFIX", (root / "prefix").c_str(), 1);

    std::string desktopFile;
    int status = 0;
    if (error = Prepare(device, desktopFile); !error.empty()) {
        status = Fail("demo", "preparing the sample failed: " + error);
    } else {
        std::cout << "A HotSync of the Memo Pad, on a sample handheld in " << device.string() << "\n"
                  << "and a prefix in " << (root / "prefix").string() << ".\n"
                  << "Since the last HotSync the handheld edited, added, deleted and archived memos and renamed\n"
                  << "\"Ideas\" to \"Projects\"; the desktop edited, added and deleted memos. \"Quarterly report\"\n"
                  << "was edited on both sides, differently.\n";
        std::cout << Section("Handheld before");
        ShowHandheld(device);
        std::cout << Section("Desktop before");
        ShowDesktop(desktopFile);

        std::cout << Section("HotSync");
        host::HotSyncRequest request;
        request.device = device;
        request.out = &std::cout;
        request.progress = true;
        const host::HotSyncOutcome outcome = host::RunHotSync(request);
        if (!outcome.error.empty()) status = Fail("demo", outcome.error);
        if (outcome.conduitRan && outcome.result != 0) {
            std::cerr << "tervano demo: the conduit returned " << outcome.result << "\n";
            status = 1;
        }

        std::cout << Section("Handheld after");
        ShowHandheld(device);
        std::cout << Section("Desktop after");
        ShowDesktop(desktopFile);
        const fs::path desktopFolder = win::HostPath(desktopFile).parent_path();
        std::error_code ec;
        for (const fs::directory_entry& file : fs::directory_iterator(desktopFolder, ec)) {
            if (file.path().extension() != ".MPA") continue;
            std::cout << Section("Archive " + file.path().filename().string());
            std::string archive = file.path().string();
            for (char& c : archive)
                if (c == '/') c = '\\';
            ShowDesktop("Z:" + archive);
        }
        std::cout << Section("The log, as kept in HotSync.log");
        std::cout << host::LastHotSyncLog(kUser).value_or("(none)\n");
    }
    if (args->Has("keep")) {
        std::cout << "\nKept " << root.string() << " (TERVANO_PREFIX=" << (root / "prefix").string() << ")\n";
    } else {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    return status;
}

}  // namespace tools
