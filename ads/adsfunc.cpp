#include "ads/adsfunc.h"

#include "ads/adsdata.h"
#include "ads/engine_text.h"

namespace ads {

void ApplyTablePassword(TAdsDataSet* dataSet, const std::string& password) {
    UNSIGNED32 result = AdsEnableEncryption(dataSet->TableHandle(), EngineText(password));
    if (result != AE_NO_CURRENT_RECORD) CheckEngineResult(dataSet, result);
    dataSet->ReReadWindow(TAdsDataSet::TReRead::InPlace, false);
}

}  // namespace ads
