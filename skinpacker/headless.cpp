#include "skinpacker/headless.h"

#include <ctime>
#include <map>

#include "skinpacker/create_checks.h"
#include "skinpacker/handheld_text.h"
#include "skinpacker/messages.h"
#include "skinpacker/project.h"
#include "skinpacker/skin_database.h"

namespace skin {

namespace {

constexpr std::string_view kUsage =
    "usage: skinpacker --import PICTURE.bmp --save PROJECT.tpd\n"
    "       skinpacker --build PROJECT.tpd --out SKIN.pdb [--title T] [--author A] "
    "[--version NNNNNN]\n"
    "       skinpacker --help | --version\n"
    "       skinpacker            (opens the window)\n";

class StreamReporter final : public Reporter {
  public:
    explicit StreamReporter(std::ostream& err) : m_err(err) {}
    void report(std::string_view text, Icon) override { m_err << text << '\n'; }

  private:
    std::ostream& m_err;
};

const std::string_view kOptions[] = {"--import", "--save",   "--build",  "--out",
                                     "--title",  "--author", "--version"};

bool parse(std::span<const std::string> args, std::map<std::string, std::string>& opts) {
    for (size_t i = 0; i < args.size(); i += 2) {
        bool known = false;
        for (std::string_view o : kOptions) known = known || args[i] == o;
        if (!known || i + 1 >= args.size() || opts.count(args[i])) return false;
        opts[args[i]] = args[i + 1];
    }
    return true;
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
    const bool parsed = parse(args, o);
    const bool importing = parsed && o.count("--import") && o.count("--save") && o.size() == 2;
    const bool building = parsed && !importing && o.count("--build") && o.count("--out") &&
                          !o.count("--import") && !o.count("--save");
    if (!importing && !building) {
        err << kUsage;
        return 2;
    }
    StreamReporter reporter(err);
    Project project;
    if (!project.reserveBuffers(reporter)) return 1;

    if (importing) {
        if (!project.importPicture(o["--import"], reporter)) return 1;
        return project.save(o["--save"], reporter) ? 0 : 1;
    }

    if (!project.load(o["--build"], reporter)) return 1;
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
    out << "ThemedPlayer SKINデータを作成しました\n";
    return 0;
}

}  // namespace skin
