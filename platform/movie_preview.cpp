#include "platform/movie_preview.h"

#include "platform/movies.h"

namespace {

struct Preview {};

OSStatus previewOpen(Preview*, ComponentInstance, void*) {
    return noErr;
}
OSStatus previewClose(Preview*, ComponentInstance, void*) {
    return noErr;
}
OSStatus previewCanDo(Preview*, ComponentInstance, void*) {
    return 0;
}
OSStatus previewVersion(Preview*, ComponentInstance, void*) {
    return 0x00020001;
}
OSStatus previewShow(Preview*, ComponentInstance, void* params) {
    auto* p = static_cast<PreviewShowDataParams*>(params);
    if (p == nullptr || p->data == nullptr || p->dataType != kAliasDataReferenceType)
        return kStatusParamError;
    std::string path;
    if (OSStatus err = ResolveAliasDataReference(*p->data, &path); err != noErr) return err;
    Movie m = nullptr;
    if (OSStatus err = NewMovieFromFile(path, &m); err != noErr) return err;
    const OSStatus err = DrawMovieFrame(m, 0, p->dest);
    DisposeMovie(m);
    return err;
}
OSStatus previewUnsupported(Preview*, ComponentInstance, void*) {
    return kStatusParamError;  // making previews is not offered
}

constexpr std::array<SelectorEntry<Preview>, 8> kSelectors{{
    {kComponentOpenSelect, previewOpen},
    {kComponentCloseSelect, previewClose},
    {kComponentCanDoSelect, previewCanDo},
    {kComponentVersionSelect, previewVersion},
    {kPreviewShowDataSelectNumber, previewShow},
    {kPreviewMakePreviewSelectNumber, previewUnsupported},
    {kPreviewMakePreviewReferenceSelectNumber, previewUnsupported},
    {kPreviewEventSelectNumber, previewUnsupported},
}};

OSStatus previewRoutine(ComponentInstance self, int16_t selector, void* params) {
    return DispatchSelector(kSelectors, self, selector, params);
}

}  // namespace

OSStatus RegisterBuiltInPreview() {
    static bool done = false;
    if (done) return noErr;
    ComponentDescription d{MakeOSType("pnot"), MakeOSType("moov"), MakeOSType("appl"), 0, 0};
    const OSStatus err = RegisterComponent(d, previewRoutine, "Movie preview", nullptr);
    done = err == noErr;
    return err;
}
