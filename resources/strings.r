# Texts of the conversion run.

resource STR# 133 "Conversion run" {
    strings {
        "Error code "
        "Not all the files have been converted.\r\rAre you sure you want to cancel the conversion?"
        "Cancelled"
        "Duration: "
    }
}

# Error texts: a count, then per entry the status and its counted text.
resource ESTR 128 "Error texts" {
    counted u16 {
        [ i16 -2009  pstr "Audio-only movie not converted" ]
        [ i16 -2048  pstr "Unable to open source file" ]
        [ i16 -2055  pstr "Audio track not converted" ]
        [ i16 -108   pstr "Out of memory" ]
        [ i16 -2126  pstr "Copy protected by author" ]
        [ i16 -2003  pstr "Unable to decode video" ]
        [ i16 -8961  pstr "Video/Audio decoder not available" ]
        [ i16 -38    pstr "Unable to create file" ]
        [ i16 -50    pstr "Parameter error" ]
        [ i16 -34    pstr "Disk is full" ]
        [ i16 -36    pstr "I/O error - disk may be full" ]
        [ i16 -205   pstr "Bad audio channel" ]
        [ i16 -37    pstr "Bad file name - the name may be too long" ]
    }
}
