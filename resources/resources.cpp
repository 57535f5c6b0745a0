#include "resources/resources.h"

#include "moviepackerResourceImage.h"

const ResourceFile& moviepackerResources() {
    static const ResourceFile file = [] {
        ResourceFile f;
        (void)ResourceFile::open(moviepackerResourceImage(), &f);
        return f;
    }();
    return file;
}
