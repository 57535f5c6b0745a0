#pragma once
// An exporter instance set up the way the tests convert with it.
#include "export/settings.h"
#include "platform/components.h"

// A fresh instance of the handheld-movie exporter holding `s`; null, with
// the failure reported to the running test, when it cannot be had.
ComponentInstance OpenExporterWith(const ExportSettings& s);
