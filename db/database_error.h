// The record-set framework's database error.
#ifndef VELDA_DB_DATABASE_ERROR_H
#define VELDA_DB_DATABASE_ERROR_H

#include "rtl/exception.h"

namespace db {

class EDatabaseError : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

}  // namespace db

#endif
