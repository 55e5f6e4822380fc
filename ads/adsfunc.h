// Table encryption for datasets.
#ifndef VELDA_ADS_ADSFUNC_H
#define VELDA_ADS_ADSFUNC_H

#include <string>

#include "ads/company_credentials.h"

namespace ads {

class TAdsDataSet;

// Gives the table password to an open dataset's table and re-positions the dataset on the rows
// that now read decrypted: its first row when the cursor stands before the first, its last
// when past the last, else the row it stands on.
void ApplyTablePassword(TAdsDataSet* dataSet, const std::string& password);

}  // namespace ads

#endif
