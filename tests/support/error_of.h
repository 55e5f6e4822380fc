// The message of the error a call raises, for suites that compare what the user would read.
#ifndef VELDA_TESTS_SUPPORT_ERROR_OF_H
#define VELDA_TESTS_SUPPORT_ERROR_OF_H

#include <string>

#include "rtl/exception.h"

namespace testsupport {

// The message of the E (or one derived from it) that f raises; "(no error)" when it raises none.
// Anything else escapes, so that a wrong kind of error fails the test.
template <class E = rtl::Exception, class F>
std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return "(no error)";
}

}  // namespace testsupport

#endif
