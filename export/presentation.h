#pragma once
// The presentation layout of an export: the stage, the still picture and
// the video rectangle of a PRES atom, handed to the movie writer.
#include <cstdint>
#include <vector>

#include "engine/movie_writer.h"
#include "platform/atoms.h"
#include "platform/data_handler.h"

// How a picture layer's pixels are stored.
inline constexpr uint8_t kPictureEncodingRaw = 0;      // 16-bit 5-6-5 rows
inline constexpr uint8_t kPictureEncodingCinepak = 7;  // the default
inline constexpr uint32_t kPictureHeaderBytes = 28;

// Hands the layout of the container's PRES atom to the writer: display size,
// full-screen switch, layer records, screen rectangle and background colour.
// Without a PRES atom nothing happens. A layer or item that fails is left
// out; the result is always noErr.
OSStatus layOutPresentation(MovieWriter* writer, const AtomContainer* presentation);

// The picture data of a picture layer: the picture drawn turned by degrees
// into a 16-bit buffer of the turned layer size, behind the 28-byte header.
OSStatus encodeLayerPicture(const DataReference& picture, int width, int height, int degrees,
                            uint8_t encoding, std::vector<uint8_t>* out);
