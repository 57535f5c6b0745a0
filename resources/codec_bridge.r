# Codec information of the Video for Windows bridge decompressor.

resource cdci 256 "Bridge codec information" {
    pstr[32] "Tavelle QT/VfW Bridge"
    i16 1          # version
    i16 1          # revision level
    type TvlO      # vendor
    u32 0x38       # decompress flags: 8-, 16- and 32-bit destinations
    u32 0x420      # compress flags
    u32 0x2038     # format flags
    u8 128 u8 128  # compression and decompression accuracy
    u16 200 u16 200  # compression and decompression speed
    u8 128 u8 0    # compression level, reserved
    u16 4 u16 4    # minimum height and width
    u16 0 u16 0    # decompress and compress pipeline latencies
    u32 0          # private data
}
