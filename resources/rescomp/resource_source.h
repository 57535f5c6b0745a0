#pragma once
// The resource source format, read by the build-time resource compiler.
//
// A source is UTF-8 text: resources, includes and '#' comments (a '#' that
// begins a token runs to the end of the line).
//
//   include "other.r"                      # another source, relative to this one
//   resource STR# 132 "optional name" {    # type, ID, then the data items
//       strings { "Custom" "-" }           # STR#: 16-bit count, counted strings
//   }
//
// Data items, written big-endian in the order given:
//   u8 N  i8 N  u16 N  i16 N  u32 N  i32 N   integers (decimal or 0x hex; range-checked)
//   fixed 29.97   ufixed 44100                signed and unsigned 16.16 fixed point
//   type 'fps '                               four-character code
//   pstr "text"   pstr[64] "text"             counted string; in an N-byte field
//                                             (zero-padded, at most N-1 characters)
//   cstr "text"   cstr[64] "text"             NUL-terminated; in an N-byte field
//   bytes { 00 ff 0a0b }                      raw bytes in hex
//   file "picture.png"                        a file's bytes, relative to this source
//   strings { "a" "b" }                       16-bit count, then counted strings
//   counted u16 { [ items ] [ items ] }       the number of groups (u8, u16 or
//                                             u32), then each group's items
//   container { atom ... }                    a flattened atom container
//   atom TYPE ID { atoms... | items... }      inside container: a parent or a leaf
//
// Window resources (layouts in platform/dialog_resources.h); rectangles are
// written top left bottom right, in pixels, relative to the window:
//   dialog { bounds T L B R  kind 5  visible 1  closebox 0  refcon 0  items ID  title "t" }
//   alert { bounds T L B R  items ID  stages 0 }
//   control { bounds T L B R  value 0  visible 1  max 0  min 0  proc 0  refcon 0  title "t" }
//   menu { id ID  title "t"  items { "a" "-" "b" } }
//   ditl {                                    items are numbered 1, 2, ... in order
//       button T L B R "OK"                   also checkbox, radio, static, edit
//       control T L B R 139                   also icon, picture: a resource ID
//       user T L B R                          drawn by the program
//       disabled static T L B R "Label:"      'disabled': the item reports no clicks
//   }
// Fields left out take 0 (visible: 1, kind: 5 movable modal).
// Types are four characters, bare (STR#, STNG) or quoted ('fps ', 'vid ').
// Strings take \" \\ \n \r \t and \xHH escapes and are stored as Mac Roman;
// a character Mac Roman lacks is an error.
#include <string>
#include <vector>

#include "platform/resources.h"

struct ResourceSourceResult {
    std::vector<ResourceSpec> resources;
    std::vector<std::string> filesRead;  // every source and included file, for dependencies
    std::string error;                   // "file:line: message" when parsing failed
};

// Parses the source file at path (and what it includes) and appends its
// resources to result. False on the first error, described in result.error.
bool parseResourceSourceFile(const std::string& path, ResourceSourceResult* result);

// Parses source text; displayName names it in errors, baseDir resolves
// include and file paths (empty: the current directory).
bool parseResourceSourceText(const std::string& text, const std::string& displayName,
                             const std::string& baseDir, ResourceSourceResult* result);
