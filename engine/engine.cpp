// The movie writer; see movie_writer.h.
