#pragma once
// Pictures the layout editor shows: a frame of the source movie for the
// movie item (and the main window's thumbnails), the background picture,
// and the file filters of the background picture's open dialog.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/media_types.h"
#include "platform/movies.h"
#include "platform/status.h"
#include "toolkit/layout_model.h"

// 32-bit pixels, blue, green, red, alpha, rows of 4 x width bytes.
struct LayoutPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// When the movie's picture is taken: half way into a movie shorter than 20
// seconds, else 10 seconds in (in the movie's time scale).
TimeValue moviePictureTime(TimeValue duration, TimeScale scale);

// The movie's picture at moviePictureTime, scaled to fit a targetWidth x
// targetHeight box keeping its aspect ratio. Status: noErr; -50 for a
// movie without a picture (no box) or an empty target; the drawing error.
OSStatus makeMoviePicture(Movie movie, int targetWidth, int targetHeight, LayoutPicture* out);
// The same for the first file of the list, opened here.
OSStatus makeMoviePicture(const std::string& path, int targetWidth, int targetHeight,
                          LayoutPicture* out);

// A still picture file's natural size.
OSStatus pictureFileSize(const std::string& path, int* width, int* height);
// A still picture file drawn scaled to width x height.
OSStatus drawPictureFile(const std::string& path, int width, int height, LayoutPicture* out);

// Makes a chosen or dropped file the background picture, fitted into the
// movie area at its natural size. Files that do not open as still pictures
// are refused (kStatusNoMovieFound and the like) and change nothing.
OSStatus chooseBackgroundPicture(LayoutEditor* editor, const std::string& path);

struct FileFilter {
    std::string name;      // "Image Files"
    std::string patterns;  // "*.BMP;*.GIF;*.JPEG;..."
};

// The background picture's filters: imageFiles with one "*.TYPE;" pattern
// per graphics importer subtype (ascending, trailing blanks dropped), then
// allFiles with "*.*".
std::vector<FileFilter> backgroundPictureFilters(std::string_view imageFiles,
                                                 std::string_view allFiles,
                                                 const std::vector<OSType>& importerSubtypes);
