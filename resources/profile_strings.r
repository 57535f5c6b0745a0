# Texts of the settings and device popups, the audio settings, the
# destination popup and the preset dialogs.

resource STR# 132 "Settings popup" {
    strings { "Custom" "-" }
}

# Destination kinds: the item number is what the preferences store.
resource STR# 136 "Destinations" {
    strings { "Source folder" "HotSync" "Removable storage…" "-" "Other..." }
}

# ATRAC3 bit rates in bits per second, shown in kbit/s.
resource STR# 137 "ATRAC3 mono bit rates" {
    strings { "11750" "16500" "23500" "33000" }
}
resource STR# 138 "ATRAC3 stereo bit rates" {
    strings { "33000" "47000" "66000" }
}
resource STR# 139 "ATRAC3 dual bit rates" {
    strings { "23500" "33000" "47000" "66000" }
}

# Sample rates in hertz, shown in kHz.
resource STR# 141 "ADPCM 2:1 rates, mono device" {
    strings { "4096" "8192" "11025" "16384" "22050" }
}
resource STR# 142 "ADPCM 4:1 rates, mono device" {
    strings { "4096" "8192" "11025" "16384" "22050" }
}
resource STR# 143 "Channels" {
    strings { "Mono" "Stereo" }
}
# Audio format labels: no audio, 624, 626 and 628, 627 and 630, 629.
resource STR# 144 "Audio formats" {
    strings { "No Audio" "CLIÉ Audio" "ADPCM" "Uncompressed" "Yamaha ADPCM" }
}
resource STR# 145 "Uncompressed mono rates" {
    strings { "4096" "8192" "16384" }
}
resource STR# 146 "ADPCM ratios" {
    strings { "2:1" "4:1" }
}
resource STR# 147 "Audio boost" {
    strings { "None" "Low" "Medium" "High" }
}
resource STR# 148 "Audio boost multipliers" {
    strings { "1.0" "2.0" "3.0" "4.0" }
}
# Descriptions, in the order of the labels in 144.
resource STR# 149 "Audio format descriptions" {
    strings {
        "The movie is converted without sound."
        "ATRAC3 at 44.1 kHz, for handhelds that play CLIÉ Audio."
        "ADPCM, 2:1 or 4:1: small files that every handheld plays."
        "Uncompressed 8-bit sound: the largest files."
        "Yamaha ADPCM at 8 kHz, mono."
    }
}
resource STR# 151 "Yamaha ADPCM rates" {
    strings { "8000" }
}
resource STR# 152 "Uncompressed stereo rates" {
    strings { "4096" "8192" "11025" "16384" "22050" "44100" }
}
resource STR# 153 "ADPCM 2:1 rates, stereo device" {
    strings { "4096" "8192" "11025" "16384" "22050" "44100" }
}
resource STR# 154 "ADPCM 4:1 rates, stereo device" {
    strings { "4096" "8192" "11025" "16384" "22050" "44100" }
}

resource STR# 513 "Export file type" {
    strings { "Tavelle Movie for Palm OS" }
}

resource STR# 1152 "Preset dialogs" {
    strings {
        "Current Preset Name:"
        "New Preset Name:"
        "Save Preset As:"
        "Copy of "
        "Current Presets"
        "Are you sure you want to delete selected preset(s)?"
    }
}
