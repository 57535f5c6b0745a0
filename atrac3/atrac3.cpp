// The ATRAC3 encoder; see atrac3.h.
