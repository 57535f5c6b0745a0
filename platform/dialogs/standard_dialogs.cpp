// The colour picker and the open-file dialog over Qt's standard dialogs.
#include <QColorDialog>
#include <QFileDialog>
#include <QStringList>

#include "platform/dialogs/dialog_internal.h"

using namespace dialogs_internal;

namespace {

ColourPickerHook g_colourHook;
OpenFileHook g_openHook;

QWidget* ownerWindow(DialogPtr owner) { return owner ? owner->window.get() : nullptr; }

// "*.PNG;*.JPEG;" as a Qt name filter. File names on Linux are case
// sensitive, so each pattern is offered in both cases; "*.*" means every
// file, also those without an extension.
QString nameFilter(const OpenFileFilter& f) {
    QStringList patterns;
    for (const QString& p : qs(f.patterns).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString t = p.trimmed();
        if (t.isEmpty()) continue;
        if (t == QLatin1String("*.*")) {
            patterns << QStringLiteral("*");
            continue;
        }
        for (const QString& v : {t, t.toLower(), t.toUpper()})
            if (!patterns.contains(v)) patterns << v;
    }
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    return qs(f.name) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
           QStringLiteral(")");
}

}  // namespace

void setColourPickerHook(ColourPickerHook hook) { g_colourHook = std::move(hook); }
void setOpenFileHook(OpenFileHook hook) { g_openHook = std::move(hook); }

OSStatus pickColour(DialogPtr owner, std::string_view title, RGBColor16* colour) {
    if (colour == nullptr) return kStatusParamError;
    if (g_colourHook) {
        RGBColor16 c = *colour;
        const OSStatus err = g_colourHook(title, &c);
        if (err == noErr) *colour = c;
        return err;
    }
    ensureApplication();
    const QColor chosen = QColorDialog::getColor(toQColor(*colour), ownerWindow(owner), qs(title));
    if (!chosen.isValid()) return kStatusUserCancelled;
    const QRgba64 c = chosen.rgba64();
    *colour = {c.red(), c.green(), c.blue()};
    return noErr;
}

OSStatus chooseFilesToOpen(DialogPtr owner, std::string_view title,
                           const std::vector<OpenFileFilter>& filters, bool multiple,
                           std::vector<std::string>* paths) {
    if (paths == nullptr) return kStatusParamError;
    paths->clear();
    if (g_openHook) {
        std::vector<std::string> chosen;
        const OSStatus err = g_openHook(title, filters, multiple, &chosen);
        if (err == noErr) *paths = std::move(chosen);
        return err;
    }
    ensureApplication();
    QFileDialog dialog(ownerWindow(owner), qs(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    QStringList names;
    for (const OpenFileFilter& f : filters) names << nameFilter(f);
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        dialog.selectNameFilter(names.front());
    }
    if (dialog.exec() != QDialog::Accepted) return kStatusUserCancelled;
    for (const QString& f : dialog.selectedFiles()) paths->push_back(us(f));
    return paths->empty() ? kStatusUserCancelled : noErr;
}
