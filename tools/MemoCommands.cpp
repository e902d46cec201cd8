// `tervano handheld` and `tervano desktop`: the same verbs on a device image and on a desktop memo
// file, each edit made the way that side's own Memo Pad makes it.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <sstream>

#include "Args.h"
#include "Commands.h"
#include "Memos.h"
#include "Text.h"
#include "host/HotSync.h"
#include "synckit/DeviceImage.h"

namespace fs = std::filesystem;

namespace tools {
namespace {

constexpr char kVerbs[] =
    "Verbs:\n"
    "  list [--category NAME] [--all] [--json]   the memos (--all: deleted and archived ones too)\n"
    "  show KEY [--json]                          one memo, its whole text\n"
    "  add [--category NAME] [--private] TEXT|-   a new memo (- reads the text from stdin)\n"
    "  edit KEY TEXT|-                            replaces a memo's text\n"
    "  delete KEY                                 deletes a memo\n"
    "  archive KEY                                deletes a memo, keeping a copy in the desktop's archive\n"
    "  move KEY CATEGORY                          files a memo in another category\n"
    "  categories [--json]                        the categories\n"
    "  category add NAME | category rename NAME NEW | category delete NAME\n"
    "                                             (a deleted category's memos go to Unfiled)\n";

constexpr char kHandheldUsage[] =
    "usage: tervano handheld --device DIR VERB ...\n"
    "\n"
    "Reads and edits the memos of the device image DIR as the handheld's Memo Pad does: new and\n"
    "changed memos are marked dirty, deleted ones keep their record until the next HotSync, renamed\n"
    "categories are marked for the desktop. KEY is the memo's record id, as `list` shows it.\n"
    "\n"
    "  init [--user NAME] [--rom VERSION]         makes a new device image (ROM version default 3.5)\n";

constexpr char kDesktopUsage[] =
    "usage: tervano desktop [--user NAME | --file PATH] VERB ...\n"
    "\n"
    "Reads and edits the desktop memo file (the user's C:\\Pilot\\<user>\\memopad\\memopad.dat, or the\n"
    "file PATH) as the desktop application does: new rows are added, changed ones modified, deleted\n"
    "ones marked deleted, archived ones flagged for the archive; renamed categories are marked for\n"
    "the handheld. Edits are refused while a HotSync uses the file. KEY is the row number `list`\n"
    "shows, or id=N for the row of handheld record N.\n";

std::string ReadText(const std::string& word) {
    if (word != "-") return word;
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\n') text.pop_back();  // the line end `echo` adds
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
    return out;
}

std::string MemoJson(const MemoView& memo, bool desktop) {
    std::ostringstream out;
    out << "{";
    if (desktop) out << "\"row\": " << memo.row << ", ";
    out << "\"id\": " << memo.id << ", \"category\": " << memo.category
        << ", \"categoryName\": " << JsonString(memo.categoryName) << ", ";
    if (desktop) {
        out << "\"status\": " << JsonString(memo.status) << ", \"archived\": " << (memo.archived ? "true" : "false")
            << ", \"private\": " << (memo.isPrivate ? "true" : "false");
    } else {
        out << "\"flags\": [";
        for (size_t i = 0; i < memo.flags.size(); ++i) out << (i ? ", " : "") << JsonString(memo.flags[i]);
        out << "]";
    }
    out << ", \"text\": " << JsonString(memo.text) << "}";
    return out.str();
}

void PrintMemoLine(const MemoView& memo, bool desktop) {
    char prefix[64];
    if (desktop) std::snprintf(prefix, sizeof prefix, "%4u  id %-8u ", memo.row, memo.id);
    else std::snprintf(prefix, sizeof prefix, "%-8u ", memo.id);
    std::string category = memo.categoryName;
    std::string flags = Join(memo.flags, ",");
    std::cout << prefix << category << std::string(category.size() < 15 ? 16 - category.size() : 1, ' ')
              << "[" << flags << "]" << std::string(flags.size() < 18 ? 19 - flags.size() : 1, ' ')
              << FirstLine(memo.text, 50) << "\n";
}

// The verbs on either side; Key turns a KEY word into what the store takes.
template <typename Store, typename KeyOf>
int RunVerb(const char* command, Store& store, const Args& args, bool desktop, KeyOf keyOf, bool& changed) {
    const std::vector<std::string>& w = args.words;
    const std::string verb = w.front();
    auto wants = [&](size_t count) { return w.size() == count + 1; };
    auto usage = [&](const std::string& form) { return Fail(command, "usage: " + form, 2); };
    auto categoryOf = [&](const std::string& name, int& index) {
        index = store.CategoryIndex(name);
        if (index < 0) Fail(command, "no category \"" + name + "\"");
        return index >= 0;
    };
    auto done = [&](const std::string& error) {
        if (!error.empty()) return Fail(command, error);
        changed = true;
        return 0;
    };

    if (verb == "list") {
        if (!wants(0)) return usage("list [--category NAME] [--all] [--json]");
        int only = -1;
        if (const std::optional<std::string> name = args.Option("category"))
            if (!categoryOf(*name, only)) return 1;
        std::vector<MemoView> shown;
        for (MemoView& memo : store.Memos())
            if ((args.Has("all") || !memo.deleted) && (only < 0 || memo.category == only)) shown.push_back(std::move(memo));
        if (args.Has("json")) {
            std::cout << "[";
            for (size_t i = 0; i < shown.size(); ++i) std::cout << (i ? ",\n " : "\n ") << MemoJson(shown[i], desktop);
            std::cout << (shown.empty() ? "]\n" : "\n]\n");
        } else {
            for (const MemoView& memo : shown) PrintMemoLine(memo, desktop);
        }
        return 0;
    }
    if (verb == "show") {
        if (!wants(1)) return usage("show KEY [--json]");
        MemoView memo;
        if (std::string error = store.Find(keyOf(w[1]), memo); !error.empty()) return Fail(command, error);
        if (args.Has("json")) {
            std::cout << MemoJson(memo, desktop) << "\n";
        } else {
            PrintMemoLine(memo, desktop);
            std::cout << memo.text << "\n";
        }
        return 0;
    }
    if (verb == "categories") {
        if (!wants(0)) return usage("categories [--json]");
        const std::vector<CategoryView> categories = store.Categories();
        if (args.Has("json")) {
            std::cout << "[";
            for (size_t i = 0; i < categories.size(); ++i) {
                const CategoryView& c = categories[i];
                std::cout << (i ? ",\n " : "\n ") << "{\"index\": " << c.index << ", \"id\": " << c.id
                          << ", \"name\": " << JsonString(c.name) << ", \"nameDirty\": " << (c.nameDirty ? "true" : "false") << "}";
            }
            std::cout << (categories.empty() ? "]\n" : "\n]\n");
        } else {
            for (const CategoryView& c : categories)
                std::cout << c.index << "\t" << c.name << (c.nameDirty ? "\t(renamed)" : "") << "\n";
        }
        return 0;
    }
    if (verb == "add") {
        if (!wants(1)) return usage("add [--category NAME] [--private] TEXT|-");
        int category = 0;
        if (const std::optional<std::string> name = args.Option("category"))
            if (!categoryOf(*name, category)) return 1;
        uint32_t key = 0;
        if (int status = done(store.Add(ReadText(w[1]), category, args.Has("private"), key)); status != 0) return status;
        if (args.Has("json")) std::cout << (desktop ? "{\"row\": " : "{\"id\": ") << key << "}\n";
        else std::cout << (desktop ? "added row " : "added memo ") << key << "\n";
        return 0;
    }
    if (verb == "edit") {
        if (!wants(2)) return usage("edit KEY TEXT|-");
        return done(store.Edit(keyOf(w[1]), ReadText(w[2])));
    }
    if (verb == "delete") {
        if (!wants(1)) return usage("delete KEY");
        return done(store.Delete(keyOf(w[1])));
    }
    if (verb == "archive") {
        if (!wants(1)) return usage("archive KEY");
        return done(store.Archive(keyOf(w[1])));
    }
    if (verb == "move") {
        if (!wants(2)) return usage("move KEY CATEGORY");
        int category = 0;
        if (!categoryOf(w[2], category)) return 1;
        return done(store.Move(keyOf(w[1]), category));
    }
    if (verb == "category") {
        const std::string sub = w.size() > 1 ? w[1] : "";
        if (sub == "add" && wants(2)) {
            int index = 0;
            if (int status = done(store.AddCategory(w[2], index)); status != 0) return status;
            std::cout << "added category " << w[2] << " at index " << index << "\n";
            return 0;
        }
        if (sub == "rename" && wants(3)) return done(store.RenameCategory(w[2], w[3]));
        if (sub == "delete" && wants(2)) return done(store.DeleteCategory(w[2]));
        return usage("category add NAME | category rename NAME NEW | category delete NAME");
    }
    return Fail(command, "unknown verb \"" + verb + "\"\n" + kVerbs, 2);
}

bool IsReadOnly(const std::string& verb) { return verb == "list" || verb == "show" || verb == "categories"; }

const std::set<std::string> kValueOptions = {"device", "user", "file", "category", "rom"};
const std::set<std::string> kFlagOptions = {"json", "all", "private"};

}  // namespace

int RunHandheld(int argc, char** argv, int first) {
    std::string error;
    const std::optional<Args> args = ParseArgs(argc, argv, first, kValueOptions, kFlagOptions, error);
    if (!args) return Fail("handheld", error + "\n" + kHandheldUsage + kVerbs, 2);
    if (args->Has("help")) {
        std::cout << kHandheldUsage << kVerbs;
        return 0;
    }
    const std::optional<std::string> device = args->Option("device");
    if (!device || args->words.empty()) return Fail("handheld", std::string(kHandheldUsage) + kVerbs, 2);
    if (args->words.front() == "init") {
        if (args->words.size() != 1) return Fail("handheld", "usage: init [--user NAME] [--rom VERSION]", 2);
        const synckit::DeviceSaveResult made =
            synckit::DeviceImage::Init(*device, args->OptionOr("user", ""), args->OptionOr("rom", "3.5"));
        if (!made.ok()) return Fail("handheld", made.error);
        std::cout << "made device image " << *device << "\n";
        return 0;
    }
    std::unique_ptr<HandheldMemos> store = HandheldMemos::Open(*device, error);
    if (!store) return Fail("handheld", error);
    // A word that is not a record id becomes id 0, which no record has: the store names it missing.
    auto keyOf = [](const std::string& word) -> uint32_t {
        if (word.empty() || word.size() > 8 || word.find_first_not_of("0123456789") != std::string::npos) return 0;
        return static_cast<uint32_t>(std::stoul(word));
    };
    bool changed = false;
    const int status = RunVerb("handheld", *store, *args, false, keyOf, changed);
    if (status != 0 || !changed || IsReadOnly(args->words.front())) return status;
    if (std::string saved = store->Save(); !saved.empty()) return Fail("handheld", saved);
    return 0;
}

int RunDesktop(int argc, char** argv, int first) {
    std::string error;
    const std::optional<Args> args = ParseArgs(argc, argv, first, kValueOptions, kFlagOptions, error);
    if (!args) return Fail("desktop", error + "\n" + kDesktopUsage + kVerbs, 2);
    if (args->Has("help")) {
        std::cout << kDesktopUsage << kVerbs;
        return 0;
    }
    if (args->words.empty()) return Fail("desktop", std::string(kDesktopUsage) + kVerbs, 2);
    std::string path;
    if (const std::optional<std::string> file = args->Option("file")) {
        if (args->Option("user")) return Fail("desktop", "give --user or --file, not both", 2);
        // A host path reaches the table library as a Z: path, which maps back to it.
        std::error_code ec;
        std::string absolute = fs::absolute(*file, ec).lexically_normal().string();
        for (char& c : absolute)
            if (c == '/') c = '\\';
        path = "Z:" + absolute;
    } else {
        const std::string user = host::ResolveUser(args->OptionOr("user", ""), error);
        if (user.empty()) return Fail("desktop", error);
        path = host::UserDesktopFile(user);
    }
    const bool editing = !IsReadOnly(args->words.front());
    std::unique_ptr<DesktopMemos> store = DesktopMemos::Open(path, editing, error);
    if (!store) return Fail("desktop", error);
    bool changed = false;
    const int status = RunVerb("desktop", *store, *args, true, [](const std::string& word) { return word; }, changed);
    if (status != 0 || !changed || !editing) return status;
    if (std::string saved = store->Save(); !saved.empty()) return Fail("desktop", saved);
    return 0;
}

}  // namespace tools
