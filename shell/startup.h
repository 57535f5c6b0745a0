#pragma once
// The start-up and shutdown steps of `moviepacker` that need no window:
// the components registered for the process, the exporter presence test,
// the file names the program was started with, and the settings read at
// start and written at the end. The window program (shell/app/main.cpp)
// calls them in this order around its splash box and main-dialog loop.
#include <string>
#include <vector>

#include "platform/atoms.h"
#include "platform/resources.h"
#include "platform/status.h"
#include "profiles/preference_file.h"
#include "profiles/preferences.h"

// Registers the handheld-movie exporter and the AVI preview component for
// this process (the window layer adds the tab control and the toolkit's
// control definitions). Repeating it is harmless.
OSStatus RegisterProgramComponents();

// Opens and at once closes a default instance of the handheld-movie
// exporter: whether conversions can run at all.
bool ExporterPresent();

// The file names the program was started with, in order, duplicates kept:
// each argument is one name, blanks and quotes included (the shell or the
// desktop has already split the line). Empty arguments are skipped; a
// name that does not exist is kept (its conversion reports it).
std::vector<std::string> StartupFileNames(int argc, const char* const* argv);

// The command line with its options read: --help (-h) and --version ask for
// a text instead of the window; "--" ends the options, so a file whose name
// begins with "--" can still be given; any other "--" word is refused.
// Every other argument is a file name, as StartupFileNames takes them.
struct StartupCommandLine {
    enum class Action { Run, Help, Version, BadOption } action = Action::Run;
    std::vector<std::string> files;
    std::string badOption;
};
StartupCommandLine ReadStartupCommandLine(int argc, const char* const* argv);

// The settings the program starts with: the saved ones, else the first
// built-in profile of `resources`; *dest gets the saved destination (kind
// "Source folder" and no folder when none was saved). Never empty unless
// the resources have no profile at all.
AtomContainer LoadStartupSettings(const PreferenceFile& store, const ResourceFile& resources,
                                  Destination* dest);

// Writes the settings and destination the program ends with.
OSStatus SaveShutdownSettings(const PreferenceFile& store, const AtomContainer& settings,
                              const Destination& dest);
