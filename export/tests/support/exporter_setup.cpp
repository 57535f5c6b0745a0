#include "export/tests/support/exporter_setup.h"

#include <gtest/gtest.h>

#include "export/movie_exporter.h"
#include "platform/atoms.h"
#include "platform/media_export.h"

ComponentInstance OpenExporterWith(const ExportSettings& s) {
    ComponentInstance exporter = nullptr;
    EXPECT_EQ(OpenMoviepackerExporter(&exporter), noErr);
    if (exporter == nullptr) return nullptr;
    AtomContainer c;
    const OSStatus made = getSettingsAsContainer(s, &c);
    EXPECT_EQ(made, noErr);
    const OSStatus set =
        made == noErr ? CallComponent(exporter, kMovieExportSetSettingsFromAtomContainerSelect, &c)
                      : made;
    EXPECT_EQ(set, noErr);
    if (set != noErr) {
        CloseComponent(exporter);
        return nullptr;
    }
    return exporter;
}
