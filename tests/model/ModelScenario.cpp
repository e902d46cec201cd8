// The model test's scenarios: the seeded generator, the user's edits on each side as that side's
// application makes them, what the user asked for, the invariants checked after every sync, the
// runner and the shrinker that cuts a failing scenario down to the steps that still make it fail.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>

#include "ModelHarness.h"
#include "resources/StringTable.h"
#include "session/ResultCodes.h"
#include "synckit/Category.h"
#include "synckit/SyncMgr.h"

namespace model {
namespace {

using tervano::test::CategoryFields;
using synckit::SyncOp;

constexpr uint8_t kChangedBits = kRecAttrDirty | kRecAttrArchived;

const char* const kWords[] = {"milk", "call Bob", "dentist", "ideas", "list", "pay rent", "meeting", "books",
                              "garden", "car", "passwords", "gift", "trip", "recipe", "notes", "budget"};
const char* const kCategoryNames[] = {"Work", "Home", "Travel", "Ideas", "Books", "Music", "Family", "Shopping",
                                      "Projects", "Garden", "Recipes", "Car", "Health", "Money", "Games",
                                      "School", "Sport", "Letters", "Business", "Personal"};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];
constexpr size_t kNameCount = sizeof kCategoryNames / sizeof kCategoryNames[0];

std::string Short(const std::string& text) {
    std::string s = text.substr(0, 28);
    for (char& c : s) if (c == '\n') c = '|';
    return "\"" + s + (text.size() > 28 ? "...\"" : "\"");
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Hex(uint32_t id) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06X", id);
    return buffer;
}

bool DeletedOnly(uint8_t attributes) {
    return (attributes & kRecAttrDeleted) != 0 && (attributes & kRecAttrArchived) == 0;
}
bool HandheldVisible(const synckit::HandheldRecord& r) { return (r.attributes & kRecAttrDeleted) == 0; }

// The state one run carries from step to step.
struct Context {
    World& world;
    Intents& intents;
    std::string* trace;
    uint32_t& serial;
    int32_t& nextHandheldCategoryId;
    int32_t& nextDesktopCategoryId;

    void Note(const std::string& line) {
        if (trace) *trace += "  " + line + "\n";
    }
    std::string NewText(uint32_t pick) {
        std::string text = "m" + std::to_string(++serial) + " " + kWords[pick % kWordCount];
        if ((pick >> 5) % 3 == 0) text += std::string(" ") + kWords[(pick >> 9) % kWordCount];
        if ((pick >> 12) % 7 == 0) text += std::string("\n") + kWords[(pick >> 16) % kWordCount];
        intents.known.insert(text);
        return text;
    }
};

// ---- The handheld's application ----

std::vector<size_t> VisibleHandheld(World& w) {
    std::vector<size_t> out;
    const auto& records = w.Db().records;
    for (size_t i = 0; i < records.size(); ++i) if (HandheldVisible(records[i])) out.push_back(i);
    return out;
}

std::vector<int32_t> HandheldCategoryIndices(World& w) {
    std::vector<int32_t> out;
    for (const CategoryFields& c : w.HandheldCategories()) out.push_back(c.index);
    if (out.empty()) out.push_back(0);
    return out;
}

void HandheldEdit(Context& c, synckit::HandheldRecord& r, const std::string& text) {
    const std::string old = r.data.substr(0, r.data.find('\0'));
    c.intents.editedOnHandheld.insert(old);
    r.data = text + std::string(1, '\0');
    r.attributes |= kRecAttrDirty;
    c.Note("H edit " + Hex(r.id) + " " + Short(old) + " -> " + Short(text));
}

void HandheldDelete(Context& c, synckit::HandheldRecord& r) {
    const std::string old = r.data.substr(0, r.data.find('\0'));
    c.intents.deletedOnHandheld.insert(old);
    r.attributes = static_cast<uint8_t>(kRecAttrDeleted | kRecAttrDirty | (r.attributes & kRecAttrPrivate));
    r.data.clear();  // the application drops a deleted record's data
    c.Note("H delete " + Hex(r.id) + " " + Short(old));
}

void HandheldArchive(Context& c, synckit::HandheldRecord& r) {
    r.attributes = static_cast<uint8_t>(kRecAttrDeleted | kRecAttrArchived | kRecAttrDirty |
                                        (r.attributes & kRecAttrPrivate));
    c.Note("H archive " + Hex(r.id) + " " + Short(r.data.substr(0, r.data.find('\0'))));
}

// Application-info block edits: name slot i at 2 + 16 i, id byte at 258 + i, dirty bits at 0-1.
void SetHandheldDirtyBit(std::string& block, int32_t index, bool on) {
    uint16_t bits = static_cast<uint16_t>(static_cast<uint8_t>(block[0]) << 8 | static_cast<uint8_t>(block[1]));
    bits = on ? static_cast<uint16_t>(bits | (1u << index)) : static_cast<uint16_t>(bits & ~(1u << index));
    block[0] = static_cast<char>(bits >> 8);
    block[1] = static_cast<char>(bits & 0xFF);
}
void SetHandheldSlot(std::string& block, int32_t index, const std::string& name, int32_t id) {
    block.replace(2 + 16 * static_cast<size_t>(index), 16, std::string(16, '\0'));
    block.replace(2 + 16 * static_cast<size_t>(index), name.size(), name.substr(0, 15));
    block[258 + static_cast<size_t>(index)] = static_cast<char>(id);
}

std::string UnusedName(const std::vector<CategoryFields>& list, uint32_t pick) {
    for (size_t k = 0; k < kNameCount; ++k) {
        const std::string name = kCategoryNames[(pick + k) % kNameCount];
        if (std::none_of(list.begin(), list.end(), [&](const CategoryFields& c) { return c.name == name; })) {
            return name;
        }
    }
    return "";
}

int32_t UnusedId(const std::vector<CategoryFields>& list, int32_t& next, int32_t low, int32_t high) {
    for (int tries = 0; tries <= high - low; ++tries) {
        const int32_t id = next;
        next = next >= high ? low : next + 1;
        if (std::none_of(list.begin(), list.end(), [&](const CategoryFields& c) { return c.id == id; })) return id;
    }
    return -1;
}

void ApplyHandheld(Context& c, const Step& s) {
    World& w = c.world;
    auto& records = w.Db().records;
    const std::vector<size_t> visible = VisibleHandheld(w);
    synckit::HandheldRecord* pick = visible.empty() ? nullptr : &records[visible[s.a % visible.size()]];
    switch (s.op) {
        case Op::kHAdd: {
            const std::vector<int32_t> categories = HandheldCategoryIndices(w);
            const uint8_t category = static_cast<uint8_t>(categories[s.b % categories.size()]);
            const bool isPrivate = (s.b >> 8) % 5 == 0;
            const std::string text = c.NewText(s.a);
            const uint32_t id = w.Handheld().AddRecord(
                w.Db(), text + std::string(1, '\0'),
                static_cast<uint8_t>(kRecAttrDirty | (isPrivate ? kRecAttrPrivate : 0)), category);
            c.Note("H add " + Hex(id) + " " + Short(text) + " cat " + std::to_string(category) +
                   (isPrivate ? " private" : ""));
            return;
        }
        case Op::kHEdit: if (pick) HandheldEdit(c, *pick, c.NewText(s.b)); return;
        case Op::kHDelete: if (pick) HandheldDelete(c, *pick); return;
        case Op::kHArchive: if (pick) HandheldArchive(c, *pick); return;
        case Op::kHMove: {
            if (!pick) return;
            const std::vector<int32_t> categories = HandheldCategoryIndices(w);
            uint8_t to = static_cast<uint8_t>(categories[s.b % categories.size()]);
            if (to == pick->category) to = static_cast<uint8_t>(categories[(s.b + 1) % categories.size()]);
            c.Note("H move " + Hex(pick->id) + " cat " + std::to_string(pick->category) + " -> " + std::to_string(to));
            pick->category = to;
            pick->attributes |= kRecAttrDirty;
            return;
        }
        case Op::kHPrivate:
            if (!pick) return;
            pick->attributes = static_cast<uint8_t>((pick->attributes ^ kRecAttrPrivate) | kRecAttrDirty);
            c.Note("H private " + Hex(pick->id) + ((pick->attributes & kRecAttrPrivate) ? " on" : " off"));
            return;
        case Op::kHCatAdd: {
            std::string& block = *w.Db().appInfo;
            const std::vector<CategoryFields> list = tervano::test::ParseAppInfo(block);
            int32_t index = -1;
            for (int32_t i = 1; i < kCategoryCount && index < 0; ++i) {
                if (std::none_of(list.begin(), list.end(), [&](const CategoryFields& f) { return f.index == i; })) index = i;
            }
            const std::string name = UnusedName(list, s.b);
            const int32_t id = UnusedId(list, c.nextHandheldCategoryId, 128, 255);
            if (index < 0 || name.empty() || id < 0) return;
            SetHandheldSlot(block, index, name, id);
            SetHandheldDirtyBit(block, index, true);
            c.intents.categoryNames.insert(name);
            c.Note("H category add " + std::to_string(index) + " '" + name + "' id " + std::to_string(id));
            return;
        }
        case Op::kHCatRename: case Op::kHCatDelete: {
            std::string& block = *w.Db().appInfo;
            std::vector<CategoryFields> list = tervano::test::ParseAppInfo(block);
            std::erase_if(list, [](const CategoryFields& f) { return f.index == 0; });
            if (list.empty()) return;
            const CategoryFields target = list[s.a % list.size()];
            if (s.op == Op::kHCatRename) {
                const std::string name = UnusedName(tervano::test::ParseAppInfo(block), s.b);
                if (name.empty()) return;
                SetHandheldSlot(block, target.index, name, target.id);
                SetHandheldDirtyBit(block, target.index, true);
                c.intents.categoryNames.insert(name);
                c.Note("H category rename " + std::to_string(target.index) + " '" + target.name + "' -> '" + name + "'");
            } else {
                SetHandheldSlot(block, target.index, "", 0);
                SetHandheldDirtyBit(block, target.index, false);
                for (auto& r : records) {
                    if (r.category != target.index) continue;
                    r.category = 0;
                    if (HandheldVisible(r)) r.attributes |= kRecAttrDirty;
                }
                c.Note("H category delete " + std::to_string(target.index) + " '" + target.name + "'");
            }
            return;
        }
        default: return;
    }
}

// ---- The desktop's application ----

bool Visible(CMemoRecord& row) {
    return !row.IsDeleted() && !row.IsPending() && !row.IsArchived();
}

// Binds row to the pick-th visible row; false when there is none.
bool PickRow(CMemoTable& table, uint32_t pick, CMemoRecord& row) {
    std::vector<uint32_t> positions;
    CBaseIterator walk(table);
    uint32_t position = 0;
    for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0), ++position) {
        if (Visible(row)) positions.push_back(position);
    }
    if (positions.empty()) return false;
    const uint32_t wanted = positions[pick % positions.size()];
    position = 0;
    for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0), ++position) {
        if (position == wanted) return true;
    }
    return false;
}

bool FindVisibleById(CMemoTable& table, uint32_t id, CMemoRecord& row) {
    CBaseIterator walk(table);
    for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0)) {
        uint32_t rowId = 0;
        row.GetRecordId(rowId);
        if (rowId == id && Visible(row)) return true;
    }
    return false;
}

std::string TextOf(CMemoRecord& row) {
    std::string text;
    row.GetMemo(text);
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

std::string RowName(CMemoRecord& row) {
    uint32_t id = 0;
    row.GetRecordId(id);
    return Hex(id);
}

void MarkEdited(CMemoRecord& row) {
    if (!row.IsAdded()) row.SetStatus(kStatusModified);
}

void DesktopEdit(Context& c, CMemoRecord& row, const std::string& text) {
    const std::string old = TextOf(row);
    c.intents.editedOnDesktop.insert(old);
    row.SetMemo(ToCrLf(text));
    MarkEdited(row);
    c.Note("D edit " + RowName(row) + " " + Short(old) + " -> " + Short(text));
}

void DesktopDelete(Context& c, CMemoRecord& row) {
    const std::string old = TextOf(row);
    c.intents.deletedOnDesktop.insert(old);
    row.SetStatus(kStatusDeleted);
    c.Note("D delete " + RowName(row) + " " + Short(old));
}

void DesktopArchive(Context& c, CMemoRecord& row) {
    row.SetArchiveBit(1);
    c.Note("D archive " + RowName(row) + " " + Short(TextOf(row)));
}

std::vector<int32_t> DesktopCategoryIndices(CCategoryMgr& mgr) {
    std::vector<int32_t> out;
    mgr.ForEachCategory([&](const CCategory& cat) { out.push_back(cat.GetIndex()); });
    if (out.empty()) out.push_back(0);
    return out;
}

std::vector<CategoryFields> FieldsOf(CCategoryMgr& mgr) {
    std::vector<CategoryFields> out;
    mgr.ForEachCategory([&](const CCategory& cat) {
        out.push_back({cat.GetIndex(), cat.GetID(), cat.GetName(), cat.GetNameDirty() != 0});
    });
    return out;
}

// Returns "" or why the desktop application could not do its work.
std::string ApplyDesktop(Context& c, const Step& s) {
    CMemoTable table;
    if (!c.world.LoadDesktop(table)) return "the desktop application cannot open the desktop file";
    CCategoryMgr& categories = *table.GetCategoryManager();
    CMemoRecord row(table, 0);
    bool changed = true;
    switch (s.op) {
        case Op::kDAdd: {
            const std::vector<int32_t> indices = DesktopCategoryIndices(categories);
            const int32_t category = indices[s.b % indices.size()];
            const bool isPrivate = (s.b >> 8) % 5 == 0;
            const std::string text = c.NewText(s.a);
            table.CreateRecord(row);
            row.SetMemo(ToCrLf(text));
            row.SetCategoryId(category);
            row.SetPrivate(isPrivate ? 1 : 0);
            row.SetStatus(kStatusAdded);
            c.Note("D add " + Short(text) + " cat " + std::to_string(category) + (isPrivate ? " private" : ""));
            break;
        }
        case Op::kDEdit: if ((changed = PickRow(table, s.a, row))) DesktopEdit(c, row, c.NewText(s.b)); break;
        case Op::kDDelete: if ((changed = PickRow(table, s.a, row))) DesktopDelete(c, row); break;
        case Op::kDArchive: if ((changed = PickRow(table, s.a, row))) DesktopArchive(c, row); break;
        case Op::kDMove: {
            if (!(changed = PickRow(table, s.a, row))) break;
            const std::vector<int32_t> indices = DesktopCategoryIndices(categories);
            int32_t from = 0;
            row.GetCategoryId(from);
            int32_t to = indices[s.b % indices.size()];
            if (to == from) to = indices[(s.b + 1) % indices.size()];
            row.SetCategoryId(to);
            MarkEdited(row);
            c.Note("D move " + RowName(row) + " cat " + std::to_string(from) + " -> " + std::to_string(to));
            break;
        }
        case Op::kDPrivate:
            if (!(changed = PickRow(table, s.a, row))) break;
            row.SetPrivate(row.IsPrivate() ? 0 : 1);
            MarkEdited(row);
            c.Note("D private " + RowName(row) + (row.IsPrivate() ? " on" : " off"));
            break;
        case Op::kDCatAdd: {
            const std::vector<CategoryFields> list = FieldsOf(categories);
            const int32_t index = categories.GetFreeIndex();
            const std::string name = UnusedName(list, s.b);
            const int32_t id = UnusedId(list, c.nextDesktopCategoryId, 16, 127);
            if (index < 0 || name.empty() || id < 0) { changed = false; break; }
            auto* category = new CCategory();
            category->SetIndex(index);
            category->SetID(id);
            category->SetName(name);
            category->SetNameDirty(1);
            if (categories.Add(category) != CAT_OK) { delete category; changed = false; break; }
            c.intents.categoryNames.insert(name);
            c.Note("D category add " + std::to_string(index) + " '" + name + "' id " + std::to_string(id));
            break;
        }
        case Op::kDCatRename: case Op::kDCatDelete: {
            std::vector<CategoryFields> list = FieldsOf(categories);
            std::erase_if(list, [](const CategoryFields& f) { return f.index == 0; });
            if (list.empty()) { changed = false; break; }
            const CategoryFields target = list[s.a % list.size()];
            CCategory* category = nullptr;
            categories.FindIndex(target.index, category);
            if (s.op == Op::kDCatRename) {
                const std::string name = UnusedName(FieldsOf(categories), s.b);
                if (name.empty() || category == nullptr) { changed = false; break; }
                category->SetName(name);
                category->SetNameDirty(1);
                c.intents.categoryNames.insert(name);
                c.Note("D category rename " + std::to_string(target.index) + " '" + target.name + "' -> '" + name + "'");
            } else {
                categories.Delete(target.index);
                CBaseIterator walk(table);
                for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0)) {
                    int32_t category = 0;
                    row.GetCategoryId(category);
                    if (category != target.index) continue;
                    row.SetCategoryId(0);
                    if (Visible(row) || row.IsArchived()) MarkEdited(row);
                }
                c.Note("D category delete " + std::to_string(target.index) + " '" + target.name + "'");
            }
            break;
        }
        default: changed = false; break;
    }
    if (changed && !c.world.SaveDesktop(table)) return "the desktop application cannot save the desktop file";
    return "";
}

// One memo on both sides (a visible handheld record and a visible desktop row with its id).
std::string ApplyBoth(Context& c, const Step& s) {
    CMemoTable table;
    if (!c.world.LoadDesktop(table)) return "the desktop application cannot open the desktop file";
    auto& records = c.world.Db().records;
    std::vector<size_t> paired;
    CMemoRecord row(table, 0);
    for (size_t i : VisibleHandheld(c.world)) {
        if (FindVisibleById(table, records[i].id, row)) paired.push_back(i);
    }
    if (paired.empty()) return "";
    synckit::HandheldRecord& r = records[paired[s.a % paired.size()]];
    FindVisibleById(table, r.id, row);
    const bool handheldEdits = (s.b & 1) != 0;
    switch (s.op) {
        case Op::kBothEdit:
            HandheldEdit(c, r, c.NewText(s.b));
            DesktopEdit(c, row, c.NewText(s.b >> 3));
            break;
        case Op::kBothEditAlike: {
            const std::string text = c.NewText(s.b);
            HandheldEdit(c, r, text);
            DesktopEdit(c, row, text);
            break;
        }
        case Op::kEditAndDelete:
            if (handheldEdits) {
                HandheldEdit(c, r, c.NewText(s.b >> 1));
                DesktopDelete(c, row);
            } else {
                DesktopEdit(c, row, c.NewText(s.b >> 1));
                HandheldDelete(c, r);
            }
            break;
        case Op::kEditAndArchive:
            if (handheldEdits) {
                HandheldEdit(c, r, c.NewText(s.b >> 1));
                DesktopArchive(c, row);
            } else {
                DesktopEdit(c, row, c.NewText(s.b >> 1));
                HandheldArchive(c, r);
            }
            break;
        default: return "";
    }
    if (!c.world.SaveDesktop(table)) return "the desktop application cannot save the desktop file";
    return "";
}

std::string Apply(Context& c, const Step& s) {
    if (s.op <= Op::kHCatDelete) {
        ApplyHandheld(c, s);
        return "";
    }
    if (s.op <= Op::kDCatDelete) return ApplyDesktop(c, s);
    return ApplyBoth(c, s);
}

}  // namespace

// The fault plan for a handheld fault at call n of a run whose clean calls are known.
synckit::FaultPlan PlanFor(Fault fault, int64_t n, const std::vector<synckit::RecordedCall>& clean) {
    synckit::FaultPlan plan;
    const auto count = [&](SyncOp op, int64_t upTo) {
        int64_t k = 0;
        for (int64_t i = 0; i < upTo && i < static_cast<int64_t>(clean.size()); ++i) k += clean[i].op == op;
        return k;
    };
    const int64_t total = static_cast<int64_t>(clean.size());
    switch (fault) {
        case Fault::kFailOnce: plan.nthCalls.push_back({n, kSyncErrFailed}); break;
        case Fault::kFailFromThenOn: {
            const SyncOp op = clean[static_cast<size_t>(n - 1)].op;
            const int64_t first = count(op, n);
            if (first == 1) {
                plan.everyCallOf.push_back({op, kSyncErrFailed});
            } else {
                for (int64_t k = first; k <= count(op, total) + 64; ++k) plan.nthCallsOf.push_back({op, k, kSyncErrFailed});
            }
            break;
        }
        case Fault::kHandheldFull: {
            plan.nthCalls.push_back({n, kSyncErrMemoryFull});
            for (int64_t k = count(SyncOp::WriteRec, n) + 1; k <= count(SyncOp::WriteRec, total) + 64; ++k) {
                plan.nthCallsOf.push_back({SyncOp::WriteRec, k, kSyncErrMemoryFull});
            }
            break;
        }
        case Fault::kDrop: plan.dropConnectionAfter = n - 1; break;
        default: break;
    }
    return plan;
}

namespace {

std::string Multiset(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += "\n      " + l;
    return out;
}

}  // namespace

// ---- Invariants ----

Before Prepare(World& world, Intents& intents, int32_t syncType) {
    Before before;
    before.desktopBytes = world.DesktopBytes();
    before.backupBytes = world.BackupBytes();
    const std::vector<Memo> handheld = world.HandheldMemos();
    std::vector<Memo> desktop;
    world.DesktopMemos(desktop);
    std::vector<std::string> archived;
    world.ArchiveTexts(archived);

    // What each side did to a text since the last sync. A content change is a live record edited,
    // added, moved or made private (handheld: dirty, not deleted; desktop: added or modified, with or
    // without the archive mark); the archive mark is a deletion that keeps a copy.
    std::set<std::string> contentOnHandheld, contentOnDesktop, archivedOnHandheld, archivedOnDesktop;
    std::set<std::string> onHandheld, onDesktop, desktopLive;
    for (const Memo& m : handheld) {
        if (DeletedOnly(m.attributes)) continue;
        onHandheld.insert(m.text);
        if (m.attributes & kRecAttrArchived) {
            archivedOnHandheld.insert(m.text);
        } else if (m.attributes & kRecAttrDirty) {
            contentOnHandheld.insert(m.text);
        }
    }
    for (const Memo& m : desktop) {
        onDesktop.insert(m.text);
        const bool gone = m.status == kStatusDeleted || m.status == kStatusPending;
        if (!gone || m.archived) desktopLive.insert(m.text);
        if (m.archived) archivedOnDesktop.insert(m.text);
        if (m.status == kStatusAdded || m.status == kStatusModified) contentOnDesktop.insert(m.text);
    }
    for (const std::string& t : onHandheld) intents.known.insert(t);
    for (const std::string& t : onDesktop) intents.known.insert(t);

    if (syncType == 2) {
        // The handheld replaces the desktop: memos only on the desktop are the user's to drop, and
        // the desktop's edits and deletions of the handheld's memos are overruled.
        before.required = onHandheld;
        before.copiedToHandheld = false;
        before.copied = onHandheld;
    } else if (syncType == 3) {
        before.required = desktopLive;
        before.copiedToHandheld = true;
        before.copied = desktopLive;
    } else {
        // A text the user edited away on one side may go unless the other side changed its content
        // too (then both versions stay); one the user deleted may go unless the other side changed
        // its content or archived it (the archive keeps the copy asked for).
        std::set<std::string> candidates = onHandheld;
        candidates.insert(onDesktop.begin(), onDesktop.end());
        for (const std::string& t : candidates) {
            const bool dropped =
                (intents.editedOnHandheld.count(t) && !contentOnDesktop.count(t)) ||
                (intents.editedOnDesktop.count(t) && !contentOnHandheld.count(t)) ||
                (intents.deletedOnHandheld.count(t) && !contentOnDesktop.count(t) && !archivedOnDesktop.count(t)) ||
                (intents.deletedOnDesktop.count(t) && !contentOnHandheld.count(t) && !archivedOnHandheld.count(t));
            if (!dropped) before.required.insert(t);
        }
    }
    // Whatever reached an archive file stays there.
    before.required.insert(archived.begin(), archived.end());
    return before;
}

void Settle(Intents& intents, const Before& before, const SyncRun& run) {
    if (before.copied.empty() || run.result != 0 || (!before.copiedToHandheld && !run.desktopSaved)) return;
    for (const std::string& t : before.copied) {
        if (before.copiedToHandheld) {
            intents.deletedOnHandheld.erase(t);
            intents.editedOnHandheld.erase(t);
        } else {
            intents.deletedOnDesktop.erase(t);
            intents.editedOnDesktop.erase(t);
        }
    }
}

std::string CheckLog(const std::vector<synckit::LogEntry>& log, const Intents& intents) {
    std::set<std::string> fixed = {"", "-- Memo Pad"};
    std::map<uint32_t, std::string> text;
    for (size_t i = 0; i < ConduitStringCount(); ++i) {
        fixed.insert(ConduitStrings()[i].text);
        text[ConduitStrings()[i].id] = ConduitStrings()[i].text;
    }
    static const std::regex counts("     Desktop = [0-9]+, Pilot = [0-9]+");
    for (const synckit::LogEntry& e : log) {
        const std::string& t = e.text;
        if (fixed.count(t)) continue;
        if (std::regex_match(t, counts)) continue;
        // The record data line: seven blanks and the first 70 characters of a memo's desktop text.
        if (t.size() >= 7 && t.compare(0, 7, "       ") == 0 && t.size() <= 77) {
            const std::string data = t.substr(7);
            bool found = data.empty();
            for (const std::string& known : intents.known) {
                if (found) break;
                found = ToCrLf(known).substr(0, 70) == data;
            }
            if (found) continue;
        }
        bool joined = false;
        for (const std::string& name : intents.categoryNames) {
            if (t == text[kStrMoveToUnfiledFailed] + name + text[kStrMoveToUnfiledFailedEnd] ||
                t == text[kStrTooManyCategories] + " '" + name + "'" ||
                t == "   - Pilot " + text[kStrCategory] + " '" + name + "' " + text[kStrCategoryDeleted] ||
                t == "   - " + text[kStrDesktop] + " " + text[kStrCategory] + " '" + name + "' " +
                         text[kStrCategoryDeleted]) {
                joined = true;
                break;
            }
        }
        if (!joined) return "log entry that is none of the conduit's texts: \"" + t + "\"";
    }
    return "";
}

std::string Check(World& world, const Intents& intents, const Before& before, const SyncRun& run,
                  int32_t syncType, Fault fault) {
    std::ostringstream out;
    std::string why;

    // Every table file opens.
    std::vector<Memo> desktop;
    if (!world.DesktopMemos(desktop, &why)) return why;
    std::vector<std::string> archived;
    if (!world.ArchiveTexts(archived, &why)) return why;
    if (const int32_t backup = world.OpenBackup(); backup != 0 && backup != kTableNoSuchFile) {
        return "the .bak file does not open (" + std::to_string(backup) + ")";
    }

    // The save: made exactly when the count check answered 0 or "handheld full"; without it the
    // desktop file and its ".bak" stay as they were, with it the ".bak" is a copy of the new file.
    int32_t lastCount = -1;
    bool counted = false;
    for (const auto& call : run.calls) {
        if (call.op == SyncOp::GetDBRecordCount) {
            lastCount = call.result;
            counted = true;
        }
    }
    // (A broken connection in the count repair's copy skips the count check: the last count query
    // is then the repair's, and the sync's result is the connection failure.)
    // A desktop-to-handheld copy that emptied the handheld and then failed to write a record left the
    // only whole copy on the desktop, which is saved whatever the result.
    bool purgedAll = false;
    bool copyBroke = false;
    for (const auto& call : run.calls) {
        if (call.op == SyncOp::PurgeAllRecs && call.result == 0) purgedAll = true;
        if (purgedAll && call.op == SyncOp::WriteRec && call.result != 0) copyBroke = true;
    }
    const bool saveDue =
        copyBroke || (counted && (lastCount == 0 || IsHandheldFull(lastCount)) && !IsCommsError(run.result));
    if (saveDue != run.desktopSaveReached) {
        out << "the desktop file was " << (run.desktopSaveReached ? "" : "not ") << "saved, but the count check answered "
            << (counted ? std::to_string(lastCount) : std::string("nothing"));
        return out.str();
    }
    const bool saved = run.desktopSaved;
    const std::string desktopNow = world.DesktopBytes();
    const std::string backupNow = world.BackupBytes();
    if (!saved) {
        if (desktopNow != before.desktopBytes) return "the desktop file changed in a sync that did not save it";
        if (backupNow != before.backupBytes) return "the .bak file changed in a sync that did not save the desktop file";
    } else if (backupNow != desktopNow) {
        return "the .bak file is not a copy of the desktop file just saved";
    }

    // No memo the user did not give up is lost.
    std::set<std::string> present(archived.begin(), archived.end());
    for (const Memo& m : world.HandheldMemos()) {
        if (!DeletedOnly(m.attributes)) present.insert(m.text);
    }
    for (const Memo& m : desktop) {
        if ((m.status != kStatusDeleted && m.status != kStatusPending) || m.archived) present.insert(m.text);
    }
    for (const std::string& t : before.required) {
        if (!present.count(t)) return "lost memo " + Short(t) + " (result " + std::to_string(run.result) + ")";
    }

    if (std::string log = CheckLog(run.log, intents); !log.empty()) return log;

    if (fault != Fault::kNone) return "";

    // A sync without a fault succeeds and leaves both sides in step.
    if (run.result != 0 || run.completionKind != 20) {
        out << "a sync without a fault ended with result " << run.result << ", completion kind " << run.completionKind;
        return out.str();
    }
    std::vector<std::string> onHandheld, onDesktop;
    for (const Memo& m : world.HandheldMemos()) {
        if (m.attributes & (kRecAttrDeleted | kRecAttrArchived | kRecAttrDirty)) {
            return "handheld record " + Hex(m.id) + " still carries change bits after a sync without a fault";
        }
        onHandheld.push_back(Short(m.text) + " cat " + std::to_string(m.category) + (m.isPrivate ? " private" : ""));
    }
    for (const Memo& m : desktop) {
        if (m.status != kStatusNone || m.archived) {
            return "desktop row " + Short(m.text) + " still has status " + std::to_string(m.status) +
                   (m.archived ? " (archived)" : "") + " after a sync without a fault";
        }
        onDesktop.push_back(Short(m.text) + " cat " + std::to_string(m.category) + (m.isPrivate ? " private" : ""));
    }
    std::sort(onHandheld.begin(), onHandheld.end());
    std::sort(onDesktop.begin(), onDesktop.end());
    if (onHandheld != onDesktop) {
        std::vector<std::string> onlyHandheld, onlyDesktop;
        std::set_difference(onHandheld.begin(), onHandheld.end(), onDesktop.begin(), onDesktop.end(),
                            std::back_inserter(onlyHandheld));
        std::set_difference(onDesktop.begin(), onDesktop.end(), onHandheld.begin(), onHandheld.end(),
                            std::back_inserter(onlyDesktop));
        return "the sides differ after a sync without a fault; only on the handheld:" + Multiset(onlyHandheld) +
               "\n    only on the desktop:" + Multiset(onlyDesktop);
    }
    std::vector<CategoryFields> handheldCategories = world.HandheldCategories();
    std::vector<CategoryFields> desktopCategories;
    world.DesktopCategories(desktopCategories);
    const bool twoWay = syncType == 0 || syncType == 1;
    auto show = [](const std::vector<CategoryFields>& list) {
        std::ostringstream s;
        for (const auto& c : list) s << " " << c;
        return s.str();
    };
    if (!twoWay) {
        for (auto& c : handheldCategories) c.nameDirty = false;
        for (auto& c : desktopCategories) c.nameDirty = false;
    }
    if (handheldCategories != desktopCategories) {
        return "the categories differ after a sync without a fault; handheld:" + show(handheldCategories) +
               "; desktop:" + show(desktopCategories);
    }
    for (const Memo& m : desktop) {
        if (m.category != 0 && std::none_of(desktopCategories.begin(), desktopCategories.end(),
                                            [&](const CategoryFields& c) { return c.index == m.category; })) {
            return "memo " + Short(m.text) + " is filed under index " + std::to_string(m.category) +
                   ", which holds no category";
        }
    }
    return "";
}

// ---- Scenarios ----

Scenario Generate(uint64_t seed, int syncs) {
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + 1);
    Scenario s;
    s.seed = seed;
    s.initialMemos = 15 + static_cast<int>(rng() % 26);
    // Weighted edits: single edits on either side, category edits, and edits of one memo on both sides.
    static const Op kOps[] = {
        Op::kHAdd, Op::kHEdit, Op::kHEdit, Op::kHDelete, Op::kHArchive, Op::kHMove, Op::kHPrivate,
        Op::kHCatAdd, Op::kHCatRename, Op::kHCatDelete,
        Op::kDAdd, Op::kDEdit, Op::kDEdit, Op::kDDelete, Op::kDArchive, Op::kDMove, Op::kDPrivate,
        Op::kDCatAdd, Op::kDCatRename, Op::kDCatDelete,
        Op::kBothEdit, Op::kBothEditAlike, Op::kEditAndDelete, Op::kEditAndArchive,
    };
    constexpr size_t kOpCount = sizeof kOps / sizeof kOps[0];
    static const Fault kFaults[] = {Fault::kFailOnce, Fault::kFailFromThenOn, Fault::kHandheldFull,
                                    Fault::kDrop, Fault::kDrop, Fault::kFailOnce, Fault::kDesktopSave,
                                    Fault::kArchiveSave};
    constexpr size_t kFaultCount = sizeof kFaults / sizeof kFaults[0];
    for (int round = 0; round < syncs; ++round) {
        const int edits = static_cast<int>(rng() % 7);
        for (int e = 0; e < edits; ++e) {
            Step step;
            step.op = kOps[rng() % kOpCount];
            step.a = static_cast<uint32_t>(rng());
            step.b = static_cast<uint32_t>(rng());
            s.steps.push_back(step);
        }
        Step sync;
        sync.op = Op::kSync;
        const uint64_t kind = rng() % 10;
        sync.syncType = kind < 6 ? 0 : kind < 8 ? 1 : kind == 8 ? 2 : 3;
        sync.fault = rng() % 3 == 0 ? kFaults[rng() % kFaultCount] : Fault::kNone;
        sync.b = static_cast<uint32_t>(rng());
        s.steps.push_back(sync);
    }
    return s;
}

std::string ApplyEdit(World& world, Intents& intents, const Step& step, std::string* trace) {
    Context c{world, intents, trace, intents.serial, intents.nextHandheldCategoryId, intents.nextDesktopCategoryId};
    return Apply(c, step);
}

std::string StartWorld(World& world, Intents& intents, uint64_t seed, int initialMemos, std::string* trace) {
    intents.categoryNames.insert({"Unfiled", "Business", "Personal", "QuickList"});
    Context c{world, intents, trace, intents.serial, intents.nextHandheldCategoryId, intents.nextDesktopCategoryId};
    // The first sync brings the handheld's memos to an empty desktop.
    std::mt19937 rng(static_cast<uint32_t>(seed));
    for (int i = 0; i < initialMemos; ++i) {
        const uint32_t pick = rng();
        const std::string text = c.NewText(pick);
        world.Handheld().AddRecord(world.Db(), text + std::string(1, '\0'),
                                   static_cast<uint8_t>(kRecAttrDirty | ((pick >> 20) % 6 == 0 ? kRecAttrPrivate : 0)),
                                   static_cast<uint8_t>((pick >> 24) % 4));
    }
    c.Note("start: " + std::to_string(initialMemos) + " memos on the handheld; slow sync");
    Before before = Prepare(world, intents, 1);
    SyncRun run = world.Sync(1, {}, Fault::kNone);
    return Check(world, intents, before, run, 1, Fault::kNone);
}

std::optional<Failure> Run(const Scenario& scenario, const RunOptions& options) {
    World world;
    Intents intents;
    if (std::string what = StartWorld(world, intents, scenario.seed, scenario.initialMemos, options.trace);
        !what.empty()) {
        return Failure{-1, what};
    }
    Context c{world, intents, options.trace, intents.serial, intents.nextHandheldCategoryId,
              intents.nextDesktopCategoryId};
    bool lastGood = true;

    for (size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        if (step.op != Op::kSync) {
            if (std::string what = Apply(c, step); !what.empty()) return Failure{static_cast<int>(i), what};
            continue;
        }
        // As the sync host chooses: a fast sync only after a sync that succeeded and saved the desktop
        // file; otherwise a slow one.
        const int32_t type = step.syncType == 0 && !lastGood ? 1 : step.syncType;
        synckit::FaultPlan plan;
        std::string faultNote;
        if (IsHandheldFault(step.fault)) {
            const World::Snapshot start = world.Take();
            const SyncRun clean = world.Sync(type, {}, Fault::kNone);
            world.Restore(start);
            const int64_t k = static_cast<int64_t>(clean.calls.size());
            const int64_t n = 1 + static_cast<int64_t>(step.b % static_cast<uint64_t>(std::max<int64_t>(k, 1)));
            if (k > 0) {
                plan = PlanFor(step.fault, n, clean.calls);
                faultNote = std::string(", ") + FaultName(step.fault) + " at call " + std::to_string(n) + " of " +
                            std::to_string(k) + " (" + synckit::SyncOpName(clean.calls[n - 1].op) + ")";
            }
        } else if (step.fault != Fault::kNone) {
            faultNote = std::string(", ") + FaultName(step.fault);
        }
        Before before = Prepare(world, intents, type);
        const SyncRun run = world.Sync(type, plan, step.fault);
        const bool saved = run.desktopSaved;
        c.Note("sync type " + std::to_string(type) + (type != step.syncType ? " (fast asked)" : "") + faultNote +
               " -> result " + std::to_string(run.result) + ", kind " + std::to_string(run.completionKind) +
               (saved ? ", saved" : ", not saved"));
        const Fault effective = faultNote.empty() ? Fault::kNone : step.fault;
        if (std::string what = Check(world, intents, before, run, type, effective); !what.empty()) {
            if (options.trace) {
                for (const auto& e : run.log) *options.trace += "      log: " + e.text + "\n";
            }
            return Failure{static_cast<int>(i), what};
        }
        Settle(intents, before, run);
        lastGood = saved && run.result == 0;
    }
    return std::nullopt;
}

Scenario Shrink(const Scenario& failing, int maxRuns) {
    Scenario best = failing;
    // Everything after the failing step is not needed.
    if (auto f = Run(best); f && f->step >= 0) best.steps.resize(static_cast<size_t>(f->step) + 1);
    int runs = 1;
    for (size_t chunk = std::max<size_t>(best.steps.size() / 2, 1); chunk >= 1 && runs < maxRuns; chunk /= 2) {
        for (size_t i = 0; i + chunk <= best.steps.size() && runs < maxRuns;) {
            Scenario trial = best;
            trial.steps.erase(trial.steps.begin() + static_cast<long>(i), trial.steps.begin() + static_cast<long>(i + chunk));
            ++runs;
            if (auto f = Run(trial)) {
                if (f->step >= 0) trial.steps.resize(std::min(trial.steps.size(), static_cast<size_t>(f->step) + 1));
                best = trial;
            } else {
                i += chunk;
            }
        }
        if (chunk == 1) break;
    }
    while (best.initialMemos > 1 && runs < maxRuns) {
        Scenario trial = best;
        trial.initialMemos = best.initialMemos / 2;
        ++runs;
        if (!Run(trial)) break;
        best = trial;
    }
    return best;
}

std::string Describe(const Scenario& scenario, const Failure& failure) {
    std::string trace;
    RunOptions options;
    options.trace = &trace;
    const std::optional<Failure> again = Run(scenario, options);
    std::ostringstream out;
    out << "seed " << scenario.seed << ": " << (again ? again->what : failure.what) << "\n"
        << "  reproduction (" << scenario.initialMemos << " initial memos, " << scenario.steps.size() << " steps):\n"
        << trace;
    return out.str();
}

int RunSeeds(uint64_t first, uint64_t count, int syncs, int maxReports, bool progress) {
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t seed = first; seed < first + count; ++seed) {
        const Scenario scenario = Generate(seed, syncs);
        if (auto failure = Run(scenario)) {
            ++failures;
            if (failures <= maxReports) {
                const Scenario small = Shrink(scenario);
                const auto f = Run(small);
                std::cout << "FAILING " << Describe(small, f ? *f : *failure) << std::flush;
            } else {
                std::cout << "FAILING seed " << seed << ": " << failure->what << "\n" << std::flush;
            }
        }
        if (progress && (seed - first + 1) % 5000 == 0) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::cerr << (seed - first + 1) << " seeds, " << failures << " failing, " << seconds << " s\n";
        }
    }
    return failures;
}

}  // namespace model
