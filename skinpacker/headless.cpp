#include "skinpacker/headless.h"

#include <ctime>
#include <array>
#include <map>
#include <vector>

#include "skinpacker/create_checks.h"
#include "skinpacker/handheld_text.h"
#include "skinpacker/messages.h"
#include "skinpacker/project.h"
#include "skinpacker/skin_database.h"
#include "skinpacker/slots.h"

namespace skin {

namespace {

constexpr std::string_view kUsage =
    "usage: skinpacker --import PICTURE.bmp [EDITS] --save PROJECT.tpd\n"
    "       skinpacker --build PROJECT.tpd [EDITS] --out SKIN.pdb [--title T] [--author A] "
    "[--version NNNNNN] [--save PROJECT.tpd]\n"
    "       skinpacker --help | --version\n"
    "       skinpacker            (opens the window)\n"
    "EDITS, applied in order, as clicks in the window would:\n"
    "  --place ITEM X Y        put ITEM with its centre at (X, Y) of the 320 x 320 picture\n"
    "                          (a placed item is moved and keeps its colours)\n"
    "  --colours ITEM STATE N  colour N (0-15, or none) for STATE off, on, max or text\n"
    "ITEM: a slot number 1-30 or play, stop, back, next, rewind, forward, volume-up,\n"
    "volume-down, volume-hbar, volume-vbar, volume-hdots, volume-vdots, eq-hbars,\n"
    "eq-vbars, eq-hdots, eq-vdots, meter-hbar, meter-vbar, meter-hdots, meter-vdots,\n"
    "time-1..3, track-1..3, title-large, title-medium, title-small, replay.\n";

// The item names a script uses, by slot.
constexpr std::string_view kItemNames[kSlotCount] = {
    "",           "play",        "stop",        "back",         "next",
    "rewind",     "forward",     "volume-up",   "volume-down",  "volume-hbar",
    "volume-vbar", "volume-hdots", "volume-vdots", "eq-hbars",   "eq-vbars",
    "eq-hdots",   "eq-vdots",    "meter-hbar",  "meter-vbar",   "meter-hdots",
    "meter-vdots", "time-1",     "time-2",      "time-3",       "track-1",
    "track-2",    "track-3",     "title-large", "title-medium", "title-small",
    "replay"};

// The window's messages are Japanese; a terminal user gets English after them.
struct Translation {
    std::string_view japanese, english;
};
constexpr Translation kEnglish[] = {
    {msg::kOverlap, "cannot place it there: it overlaps another item"},
    {msg::kSaveNeedsPicture, "load the background picture before saving; nothing was saved"},
    {msg::kMemory1, "cannot reserve memory for the data"},
    {msg::kMemory2, "cannot reserve memory for the second data buffer"},
    {msg::kNeedPlayStop, "place the play and stop buttons; the skin was not made"},
    {msg::kNameEmpty, "give a file name of at most 30 single-byte characters with extension"},
    {msg::kNameTooLong,
     "the file name is also the database name: at most 30 single-byte characters with extension"},
    {msg::kNeedTitle, "give the database title"},
    {msg::kNeedAuthor, "give the database author"},
    {msg::kNeedVersion, "give the database version"},
    {msg::kMade, "the skin was made"},
};

std::string_view english(std::string_view text) {
    for (const Translation& t : kEnglish)
        if (t.japanese == text) return t.english;
    return {};
}

class StreamReporter final : public Reporter {
  public:
    explicit StreamReporter(std::ostream& err) : m_err(err) {}
    void report(std::string_view text, Icon) override {
        m_err << text << '\n';
        if (const std::string_view e = english(text); !e.empty()) m_err << "(" << e << ")\n";
    }

  private:
    std::ostream& m_err;
};

const std::string_view kOptions[] = {"--import", "--save",   "--build",  "--out",
                                     "--title",  "--author", "--version"};

struct Edit {
    bool place;  // else colours
    std::string item, a, b;
};

bool parse(std::span<const std::string> args, std::map<std::string, std::string>& opts,
           std::vector<Edit>& edits) {
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "--place" || args[i] == "--colours") {
            if (i + 3 >= args.size()) return false;
            edits.push_back({args[i] == "--place", args[i + 1], args[i + 2], args[i + 3]});
            i += 4;
            continue;
        }
        bool known = false;
        for (std::string_view o : kOptions) known = known || args[i] == o;
        if (!known || i + 1 >= args.size() || opts.count(args[i])) return false;
        opts[args[i]] = args[i + 1];
        i += 2;
    }
    return true;
}

bool number(const std::string& text, int lo, int hi, int& out) {
    if (text.empty() || text.size() > 4) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

int itemSlot(const std::string& name) {
    int slot = 0;
    if (number(name, 1, kSlotCount - 1, slot)) return slot;
    for (int s = 1; s < kSlotCount; ++s)
        if (kItemNames[s] == name) return s;
    return 0;
}

// One edit, with the window's rules: 0 done, 1 refused as the window would
// refuse the click, 2 bad usage. The message is given.
int applyEdit(Project& project, const Edit& e, Reporter& reporter, std::ostream& err) {
    const int slot = itemSlot(e.item);
    if (slot == 0) {
        err << "skinpacker: unknown item '" << e.item << "'\n";
        return 2;
    }
    const SlotInfo& info = kSlots[static_cast<size_t>(slot)];
    if (!e.place) {
        static constexpr std::string_view kStates[] = {"off", "on", "max"};
        int state = -1;
        for (int i = 0; i < 3; ++i)
            if (e.a == kStates[i]) state = i;
        if (e.a == "text") state = 0;
        const int states = info.dialog == ColourDialog::ThreeColours ? 3
                           : info.dialog == ColourDialog::TextColour ? 1
                                                                      : 2;
        const bool textItem = info.dialog == ColourDialog::TextColour;
        int colour = -1;
        if (state < 0 || state >= states || (textItem != (e.a == "text")) ||
            (e.b != "none" && !number(e.b, 0, kStandardColours - 1, colour))) {
            err << "skinpacker: --colours " << e.item << " " << e.a << " " << e.b
                << ": this item takes " << (textItem ? "text" : states == 3 ? "off, on or max" : "off or on")
                << " and a colour 0-15 or none\n";
            return 2;
        }
        if (!project.slot(slot).placed()) {
            err << "skinpacker: --colours " << e.item << ": place the item first\n";
            return 1;
        }
        std::array<int8_t, 3> c = project.slot(slot).colours;
        c[static_cast<size_t>(state)] = static_cast<int8_t>(colour);
        // A drawn button has both colours; the other one takes the window's default.
        if (info.dialog == ColourDialog::Button && colour >= 0 && c[1 - state] < 0)
            c[static_cast<size_t>(1 - state)] = state == 0 ? 9 : 14;
        if (info.dialog == ColourDialog::Button && colour < 0) c = {kNoColour, kNoColour, kNoColour};
        project.setColours(slot, c);
        return 0;
    }
    int x = 0, y = 0;
    if (!number(e.a, 0, kPictureSide - 1, x) || !number(e.b, 0, kPictureSide - 1, y)) {
        err << "skinpacker: --place " << e.item << ": X and Y are 0 to 319\n";
        return 2;
    }
    if (!project.pictureLoaded()) {
        err << "skinpacker: --place: there is no background picture yet\n";
        return 1;
    }
    const Slot& current = project.slot(slot);
    if (current.placed()) {
        // Picked up and put down again, as a click on it would.
        if (project.selected() != 0) project.selectItem(project.selected());
        const ClickResult up = project.click(current.x + info.width / 2 + kPictureOrigin,
                                             current.y + info.height / 2 + kPictureOrigin, reporter);
        if (up.outcome != ClickOutcome::PickedUp || up.slot != slot) {
            err << "skinpacker: --place " << e.item << ": cannot pick it up\n";
            return 1;
        }
    } else {
        if (!project.buttonEnabled(slot)) {
            err << "skinpacker: --place " << e.item
                << ": another item of its group is already placed\n";
            return 1;
        }
        if (project.selected() != slot) project.selectItem(slot);
    }
    const ClickResult r = project.click(x + kPictureOrigin, y + kPictureOrigin, reporter);
    if (r.outcome == ClickOutcome::Placed || r.outcome == ClickOutcome::Moved) return 0;
    if (r.outcome == ClickOutcome::Ignored)
        err << "skinpacker: --place " << e.item << " " << x << " " << y << ": a " << info.width
            << " x " << info.height << " item centred there does not fit in the picture\n";
    return 1;  // an overlap was reported as the window reports it
}

}  // namespace

bool wantsHeadless(std::span<const std::string> args) {
    // Every long option is the headless program's, known or not, so help,
    // the version and mistakes never need a window. Qt's own options have
    // one dash.
    for (const std::string& a : args)
        if (a.rfind("--", 0) == 0 || a == "-h") return true;
    return false;
}

int runHeadless(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << "skinpacker 0.1\n";
        return 0;
    }
    std::map<std::string, std::string> o;
    std::vector<Edit> edits;
    const bool parsed = parse(args, o, edits);
    const bool importing = parsed && o.count("--import") && o.count("--save") && o.size() == 2;
    const bool building = parsed && !importing && o.count("--build") && o.count("--out") &&
                          !o.count("--import");
    if (!importing && !building) {
        err << kUsage;
        return 2;
    }
    StreamReporter reporter(err);
    Project project;
    if (!project.reserveBuffers(reporter)) return 1;

    if (importing) {
        if (!project.importPicture(o["--import"], reporter)) return 1;
        for (const Edit& e : edits)
            if (const int st = applyEdit(project, e, reporter, err); st != 0) return st;
        return project.save(o["--save"], reporter) ? 0 : 1;
    }

    if (!project.load(o["--build"], reporter)) return 1;
    for (const Edit& e : edits)
        if (const int st = applyEdit(project, e, reporter, err); st != 0) return st;
    if (o.count("--save") && !project.save(o["--save"], reporter)) return 1;
    if (!playAndStopPlaced(project)) {
        reporter.report(msg::kNeedPlayStop, Icon::Exclamation);
        return 1;
    }
    const std::string& path = o["--out"];
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    if (std::string_view refusal = checkDatabaseFileName(name); !refusal.empty()) {
        reporter.report(refusal, Icon::Exclamation);
        return 1;
    }
    // Texts not given fall back to those the project holds, as the dialog offers them.
    const DatabaseTexts& stored = project.texts();
    auto text = [&](const char* key, const std::string& fallback) {
        return o.count(key) ? o[key] : fromHandheldText(fallback);
    };
    DatabaseTexts texts;
    if (std::string_view refusal =
            makeDatabaseTexts(text("--title", stored.title), text("--author", stored.author),
                              text("--version", stored.version), texts);
        !refusal.empty()) {
        reporter.report(refusal, Icon::Exclamation);
        return 1;
    }
    project.setTexts(texts);
    if (!writeSkinDatabase(project, path, std::time(nullptr), reporter)) return 1;
    out << msg::kMade << "\n(" << english(msg::kMade) << ")\n";
    return 0;
}

}  // namespace skin
