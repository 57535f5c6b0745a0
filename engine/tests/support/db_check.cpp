#include "db_check.h"

#include "engine/movie_reader.h"

testing::AssertionResult validMovieDatabase(const std::vector<uint8_t>& bytes) {
    movie::Movie m;
    std::string error;
    if (!movie::readMovie(bytes, m, error)) return testing::AssertionFailure() << "not a database: " << error;
    if (m.violations.empty()) return testing::AssertionSuccess();
    testing::AssertionResult r = testing::AssertionFailure();
    r << m.violations.size() << " violations:";
    for (const std::string& v : m.violations) r << "\n  " << v;
    return r;
}
