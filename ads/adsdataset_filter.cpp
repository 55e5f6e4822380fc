// TAdsDataSet's filters, scopes and search by values. The expressions are the engine's: the
// layer only shapes the texts it hands over (a trailing "*" in a literal turns into a partial
// match with exact matching off) and the terms of the filter a search falls back on.
//
// A search seeks only on an index it can trust to find every matching row: one whose leading
// segments are exactly the searched fields and that has no scope, condition, uniqueness or
// custom keys narrowing it. Anything else, and every case-insensitive search, walks a temporary
// engine filter instead, ANDed with the optimised filter the dataset had, which is put back
// afterwards whatever happens.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <variant>

#include "ads/adsdata.h"
#include "ads/engine_text.h"
#include "rtl/sysutils.h"

namespace ads {

namespace {

constexpr int kMaxIndexes = 50;
constexpr UNSIGNED16 kMaxTextBuffer = 0xFFFF;

bool isLive(ADSHANDLE h) {
    return h != 0 && h != kClosedHandle;
}

bool sameText(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string textOf(const std::vector<UNSIGNED8>& buffer, UNSIGNED16 length) {
    return std::string(reinterpret_cast<const char*>(buffer.data()),
                       std::min<size_t>(length, buffer.size()));
}

UNSIGNED16 bufferSize(size_t wanted) {
    return static_cast<UNSIGNED16>(std::min<size_t>(wanted, kMaxTextBuffer));
}

// Removes a "*" standing just before the closing quote of a literal that holds more than "*"
// characters; exact := false when one was removed.
void removeTrailingWildcards(std::string& text, bool& exact) {
    char quote = 0;
    size_t openedAt = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!quote) {
            if (c == '"' || c == '\'') {
                quote = c;
                openedAt = i;
            }
            continue;
        }
        if (c == quote) {
            quote = 0;
            continue;
        }
        if (c != '*' || i + 1 >= text.size() || text[i + 1] != quote) continue;
        size_t first = i;
        while (first > openedAt + 1 && text[first - 1] == '*') --first;
        if (first == openedAt + 1) continue;  // only "*" characters: a literal "*"
        text.erase(i, 1);
        exact = false;
        quote = 0;  // the closing quote, now at i, is passed over by the loop
    }
}

bool isStringKind(db::TFieldType t) {
    return t == db::ftString || t == db::ftFixedChar || t == db::ftWideString;
}

// A text as a double-quoted literal of the expression language; its double quotes are joined
// in with Chr(34).
std::string quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"')
            out += "\"+ Chr(34) + \"";
        else
            out += c;
    }
    return out + "\"";
}

// A date in the engine's CTOD format (letters D, M, Y and C for the century, any separators);
// with separators the year is written with four digits, which every such format reads.
std::string engineDateText(rtl::TDateTime value, const std::string& format) {
    int year = 0, month = 0, day = 0;
    rtl::DecodeDate(value, year, month, day);
    auto letter = [](char c) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return c == 'C' ? 'Y' : c;
    };
    bool separated = false;
    for (char c : format)
        if (letter(c) != 'D' && letter(c) != 'M' && letter(c) != 'Y') separated = true;
    std::string out;
    for (size_t i = 0; i < format.size();) {
        const char l = letter(format[i]);
        if (l != 'D' && l != 'M' && l != 'Y') {
            out += format[i++];
            continue;
        }
        size_t width = 0;
        while (i < format.size() && letter(format[i]) == l) ++i, ++width;
        char buffer[16];
        if (l == 'Y') {
            const int digits = separated ? 4 : static_cast<int>(std::min<size_t>(width, 4));
            std::snprintf(buffer, sizeof buffer, "%04d", year);
            out += std::string(buffer).substr(4 - static_cast<size_t>(digits));
        } else {
            std::snprintf(buffer, sizeof buffer, "%02d", l == 'D' ? day : month);
            out += buffer;
        }
    }
    return out;
}

std::string engineTimeText(rtl::TDateTime value) {
    int hour = 0, minute = 0, second = 0, millis = 0;
    rtl::DecodeTime(value, hour, minute, second, millis);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", hour, minute, second, millis);
    return buffer;
}

std::vector<std::string> splitNames(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t semi = list.find(';', start);
        if (semi == std::string::npos) semi = list.size();
        std::string name = list.substr(start, semi - start);
        const size_t b = name.find_first_not_of(' '), e = name.find_last_not_of(' ');
        if (b != std::string::npos) names.push_back(name.substr(b, e - b + 1));
        start = semi + 1;
    }
    return names;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Filters

std::string TAdsDataSet::PrepareFilterText(const std::string& text, bool& exact) {
    exact = true;
    const bool adt = IsAdt();
    std::string scanned = text;
    if (adt) {
        std::vector<UNSIGNED8> buffer(bufferSize(text.size() + 51));
        auto length = static_cast<UNSIGNED16>(buffer.size());
        Check(AdsExpressionLongToShort(tableHandle_, EngineText(text), buffer.data(), &length));
        scanned = textOf(buffer, length);
    }
    removeTrailingWildcards(scanned, exact);
    if (!adt) return scanned;
    std::vector<UNSIGNED8> buffer(bufferSize(text.size() + 1));
    auto length = static_cast<UNSIGNED16>(buffer.size());
    UNSIGNED32 result =
        AdsExpressionShortToLong(tableHandle_, EngineText(scanned), buffer.data(), &length);
    if (result == AE_INSUFFICIENT_BUFFER) {
        // The long form can be longer than the text it came from: read it at its size.
        buffer.assign(length, 0);
        result =
            AdsExpressionShortToLong(tableHandle_, EngineText(scanned), buffer.data(), &length);
    }
    Check(result);
    return textOf(buffer, length);
}

void TAdsDataSet::ActivateFilter() {
    if (Filter().empty()) {
        DeactivateFilter();
        return;
    }
    bool exact = true;
    const std::string text = PrepareFilterText(Filter(), exact);
    // A refused filter leaves the previous one in the engine: so also its exact setting.
    UNSIGNED16 previousExact = 0;
    Check(AdsGetExact22(tableHandle_, &previousExact));
    Check(AdsSetExact22(tableHandle_, exact ? 1 : 0));
    UNSIGNED32 result = !options_.AdsOptimizedFilters()
                            ? AdsSetFilter(tableHandle_, EngineText(text))
                            : AdsSetAOF(tableHandle_, EngineText(text),
                                        options_.AdsAOFResolveImmediate() ? ADS_RESOLVE_IMMEDIATE
                                                                          : ADS_RESOLVE_DYNAMIC);
    try {
        Check(result);
    } catch (...) {
        (void)AdsSetExact22(tableHandle_, previousExact);  // the refusal is what is reported
        throw;
    }
}

void TAdsDataSet::DeactivateFilter() {
    UNSIGNED32 result =
        options_.AdsOptimizedFilters() ? AdsClearAOF(tableHandle_) : AdsClearFilter(tableHandle_);
    if (result != AE_NO_FILTER) Check(result);
}

void TAdsDataSet::SetFilteredImpl(bool value) {
    if (IsActive()) CheckBrowseMode();
    const bool previous = Filtered();
    StoreFiltered(value);
    if (isLive(tableHandle_)) {
        try {
            if (value)
                ActivateFilter();
            else
                DeactivateFilter();
        } catch (...) {
            StoreFiltered(previous);
            throw;
        }
    }
    if (IsActive()) First();
}

void TAdsDataSet::SetFilterText(const std::string& text) {
    if (!IsActive() || !Filtered()) {
        StoreFilterText(text);
        return;
    }
    // A refused text leaves the previous filter applied, and stored.
    const std::string previous = Filter();
    StoreFilterText(text);
    try {
        SetFilteredImpl(true);
    } catch (...) {
        StoreFilterText(previous);
        throw;
    }
}

// ---------------------------------------------------------------------------------------------
// Scopes

void TAdsDataSet::SetScopeBegin(const std::string& value) {
    if (value.size() > kMaxScopeText)
        RaiseLayerError("Scope text length exceeded " + std::to_string(kMaxScopeText));
    scopeBegin_ = value;
}

void TAdsDataSet::SetScopeEnd(const std::string& value) {
    if (value.size() > kMaxScopeText)
        RaiseLayerError("Scope text length exceeded " + std::to_string(kMaxScopeText));
    scopeEnd_ = value;
}

void TAdsDataSet::ActivateScope() {
    if (activeHandle_ == tableHandle_)
        RaiseLayerError("Cannot activate scope when there is no active index.");
    for (UNSIGNED16 option : {ADS_TOP, ADS_BOTTOM}) {
        UNSIGNED8 scope[kMaxScopeText];
        UNSIGNED16 length = sizeof scope;
        UNSIGNED32 result = AdsGetScope(activeHandle_, option, scope, &length);
        // A scope too long for the buffer is a scope all the same.
        if (result == AE_SUCCESS || result == AE_INSUFFICIENT_BUFFER)
            RaiseLayerError("Cannot activate scope when there is an active range.");
    }
    if (!scopeBegin_.empty())
        Check(AdsSetScope(activeHandle_, ADS_TOP, EngineText(scopeBegin_),
                          static_cast<UNSIGNED16>(scopeBegin_.size()), ADS_STRINGKEY));
    if (!scopeEnd_.empty())
        Check(AdsSetScope(activeHandle_, ADS_BOTTOM, EngineText(scopeEnd_),
                          static_cast<UNSIGNED16>(scopeEnd_.size()), ADS_STRINGKEY));
}

void TAdsDataSet::DeactivateScope() {
    if (!isLive(activeHandle_) || activeHandle_ == tableHandle_) return;
    for (UNSIGNED16 option : {ADS_TOP, ADS_BOTTOM}) {
        UNSIGNED32 result = AdsClearScope(activeHandle_, option);
        if (result != AE_NO_SCOPE) Check(result);
    }
}

void TAdsDataSet::SetScoped(bool value) {
    if (value == scoped_) return;
    if (!IsActive()) {
        scoped_ = value;
        return;
    }
    CheckBrowseMode();
    const bool empty = IsEmpty();
    UNSIGNED32 remembered = 0;
    if (!empty) {
        UpdateCursorPos();
        remembered = BookmarkRecordNumber(ActiveBuffer());
    }
    if (value) {
        ActivateScope();
        scoped_ = true;
        UNSIGNED16 visible = 0;
        UNSIGNED32 result = AdsIsRecordVisible(activeHandle_, &visible);
        if (result != AE_NO_CURRENT_RECORD) Check(result);
        if (result == AE_SUCCESS && visible && !empty)
            ReReadWindow(TReRead::Centred, true);
        else
            First();
        return;
    }
    DeactivateScope();
    scoped_ = false;
    if (empty) {
        First();
        return;
    }
    UNSIGNED32 result = AdsGotoRecord(tableHandle_, remembered);
    if (result == AE_NO_SUCH_RECORD) {
        // The row went away meanwhile: the one after it.
        Next();
        return;
    }
    Check(result);
    ReReadWindow(TReRead::Centred, true);
}

// ---------------------------------------------------------------------------------------------
// Search by values

std::string TAdsDataSet::BuildFilterString(const std::vector<db::TField*>& fields,
                                           bool caseInsensitive, bool exactCompare,
                                           bool padStrings) {
    if (State() != db::dsFilter) RaiseLayerError("Internal Error, << BuildFilterString >>");
    const std::string op = exactCompare ? "==" : "=";
    std::string text;
    for (db::TField* field : fields) {
        const std::string& name = field->FieldName();
        std::string term;
        if (field->IsNull()) {
            term = "(empty(" + name + "))";
        } else if (isStringKind(field->DataType())) {
            const std::string u = caseInsensitive ? "UPPER(" : "", u2 = caseInsensitive ? ")" : "";
            std::string value = field->AsString();
            if (padStrings && value.size() < static_cast<size_t>(field->Size()))
                value.resize(static_cast<size_t>(field->Size()), ' ');
            term = "(" + u + name + u2 + op + u + quoted(value) + u2 + ")";
        } else if (field->DataType() == db::ftBoolean) {
            term = "(" + name + op + (field->AsBoolean() ? ".TRUE." : ".FALSE.") + ")";
        } else if (field->DataType() == db::ftDate || field->DataType() == db::ftTime ||
                   field->DataType() == db::ftDateTime) {
            // The text in the forms CTOD, CTOT and CTOTS read, not in the display format,
            // which the engine cannot know.
            const db::TFieldType type = field->DataType();
            const rtl::TDateTime value = field->AsDateTime();
            std::string shown;
            if (type != db::ftTime) shown = engineDateText(value, engineDateFormat());
            if (type != db::ftDate) shown += (shown.empty() ? "" : " ") + engineTimeText(value);
            const char* convert = type == db::ftDate   ? "ctod("
                                  : type == db::ftTime ? "ctot("
                                                       : "ctots(";
            term = "(" + name + op + convert + "\"" + shown + "\"" + "))";
        } else {
            term = "(" + name + op + field->AsString() + ")";
        }
        if (!text.empty()) text += " AND ";
        text += term;
    }
    return text;
}

std::string TAdsDataSet::engineDateFormat() {
    UNSIGNED8 format[64];
    UNSIGNED16 length = sizeof format;
    Check(AdsGetDateFormat60(GetConnectionHandle(), format, &length));
    return std::string(reinterpret_cast<char*>(format), length);
}

bool TAdsDataSet::restrictedOrder(ADSHANDLE index) {
    for (UNSIGNED16 option : {ADS_TOP, ADS_BOTTOM}) {
        UNSIGNED8 scope[kMaxScopeText];
        UNSIGNED16 length = sizeof scope;
        UNSIGNED32 result = AdsGetScope(index, option, scope, &length);
        if (result == AE_SUCCESS || result == AE_INSUFFICIENT_BUFFER) return true;
        if (result != AE_NO_SCOPE) Check(result);
    }
    UNSIGNED8 condition[510];
    UNSIGNED16 length = sizeof condition;
    UNSIGNED32 result = AdsGetIndexCondition(index, condition, &length);
    if (result == AE_INSUFFICIENT_BUFFER || (result == AE_SUCCESS && length > 0)) return true;
    Check(result);
    if (tableType_ != ttAdsADT) {
        UNSIGNED16 unique = 0;
        Check(AdsIsIndexUnique(index, &unique));
        if (unique) return true;
    }
    UNSIGNED16 custom = 0;
    result = AdsIsIndexCustom(index, &custom);
    if (result == AE_INVALID_INDEX_KIND) return false;
    Check(result);
    return custom != 0;
}

ADSHANDLE TAdsDataSet::searchIndex(const std::vector<db::TField*>& fields) {
    // Fits: the first fields.size() segments are the searched fields, in any order.
    auto fits = [&](ADSHANDLE index) {
        UNSIGNED16 segments = 0;
        Check(AdsGetNumSegments(index, &segments));
        if (segments < fields.size()) return false;
        std::vector<bool> matched(fields.size(), false);
        for (UNSIGNED16 segment = 0; segment < fields.size(); ++segment) {
            UNSIGNED8 name[129];
            UNSIGNED16 length = sizeof name;
            Check(AdsGetSegmentFieldname(index, segment, name, &length));
            const std::string segmentName(reinterpret_cast<char*>(name), length);
            bool found = false;
            for (size_t f = 0; f < fields.size() && !found; ++f) {
                if (matched[f] || !sameText(fields[f]->FieldName(), segmentName)) continue;
                matched[f] = found = true;
            }
            if (!found) return false;
        }
        return true;
    };
    if (activeHandle_ != tableHandle_ && restrictedOrder(activeHandle_))
        return fits(activeHandle_) ? activeHandle_ : 0;
    ADSHANDLE indexes[kMaxIndexes];
    UNSIGNED16 count = kMaxIndexes;
    Check(AdsGetAllIndexes(tableHandle_, indexes, &count));
    for (UNSIGNED16 i = 0; i < count; ++i)
        if (fits(indexes[i]) && !restrictedOrder(indexes[i])) return indexes[i];
    return 0;
}

bool TAdsDataSet::seekOnIndex(ADSHANDLE index, const std::vector<db::TField*>& fields,
                              db::TRecordBuffer scratch, bool partialKey) {
    UNSIGNED8 lastName[129];
    UNSIGNED16 lastLength = sizeof lastName;
    Check(AdsGetSegmentFieldname(index, static_cast<UNSIGNED16>(fields.size() - 1), lastName,
                                 &lastLength));
    const std::string lastSegment(reinterpret_cast<char*>(lastName), lastLength);
    Check(AdsInitRawKey(index));
    for (db::TField* field : fields) {
        const TACEFieldDef* entry = aceFieldDefs_.FindByName(field->FieldName());
        if (!entry) RaiseLayerError("Field '" + field->FieldName() + "' is not a table field");
        UNSIGNED8* bytes = scratch + entry->Offset;
        UNSIGNED32 length = entry->Length;
        if (partialKey && entry->EngineType == ADS_STRING && sameText(entry->Name, lastSegment))
            while (length > 0 && (bytes[length - 1] == ' ' || bytes[length - 1] == 0)) --length;
        if (entry->EngineType == ADS_STRING)
            Check(AdsSetField(index, EngineText(entry->Name), bytes, length));
        else
            Check(AdsSetFieldRaw(index, EngineText(entry->Name), bytes, length));
    }
    UNSIGNED8 key[ADS_MAX_KEY_LENGTH];
    UNSIGNED16 keyLength = sizeof key;
    Check(AdsBuildRawKey(index, key, &keyLength));
    UNSIGNED16 found = 0;
    Check(AdsSeek(index, key, keyLength, ADS_RAWKEY, ADS_SOFTSEEK, &found));
    return found != 0;
}

bool TAdsDataSet::searchByFilter(const std::vector<db::TField*>& fields, TSearchOptions options) {
    std::string text = BuildFilterString(fields, options.CaseInsensitive);
    std::string previousFilter;
    bool hadFilter = false;
    if (options_.AdsOptimizedFilters()) {
        UNSIGNED16 length = 0;
        UNSIGNED32 result = AdsGetAOF(tableHandle_, nullptr, &length);
        if (result == AE_INSUFFICIENT_BUFFER) {
            std::vector<UNSIGNED8> buffer(length);
            Check(AdsGetAOF(tableHandle_, buffer.data(), &length));
            previousFilter = textOf(buffer, length);
            hadFilter = true;
            text += " AND (" + previousFilter + ")";
        } else if (result != AE_NO_FILTER) {
            Check(result);
        }
    }
    // The exact setting is put back even without a filter: a plain filter compares by it too.
    UNSIGNED16 previousExact = 0;
    Check(AdsGetExact22(tableHandle_, &previousExact));
    auto restore = [&]() -> UNSIGNED32 {
        UNSIGNED32 result =
            hadFilter ? AdsSetAOF(tableHandle_, EngineText(previousFilter), ADS_RESOLVE_DYNAMIC)
                      : AdsClearAOF(tableHandle_);
        if (result == AE_NO_FILTER) result = AE_SUCCESS;
        UNSIGNED32 exact = AdsSetExact22(tableHandle_, previousExact);
        return result != AE_SUCCESS ? result : exact;
    };
    bool found = false;
    try {
        Check(AdsSetExact22(tableHandle_, options.PartialKey ? 0 : 1));
        Check(AdsSetAOF(tableHandle_, EngineText(text), ADS_RESOLVE_DYNAMIC));
        Check(AdsGotoTop(activeHandle_));
        UNSIGNED16 eof = 1;
        Check(AdsAtEOF(tableHandle_, &eof));
        found = eof == 0;
    } catch (...) {
        (void)restore();  // the failure that is propagating is the one to report
        throw;
    }
    Check(restore());
    return found;
}

bool TAdsDataSet::SearchByFieldValues(const std::string& fieldNames,
                                      const std::vector<TSearchValue>& values,
                                      TSearchOptions options) {
    CheckActive();
    if (BeforeScroll) BeforeScroll(this);
    CheckBrowseMode();
    std::vector<db::TField*> fields;
    for (const std::string& name : splitNames(fieldNames)) fields.push_back(FieldByName(name));
    if (fields.empty()) RaiseLayerError("No field names given for the search.");
    if (fields.size() != values.size())
        RaiseLayerError("The search names " + std::to_string(fields.size()) +
                        " field(s) but gives " + std::to_string(values.size()) + " value(s).");

    if (!IsEmpty()) UpdateCursorPos();
    ADSHANDLE remembered = 0;
    Check(AdsGetBookmark(tableHandle_, &remembered));

    bool found = false;
    {
        // The values go into a scratch row in the filter state, as a new record would get them.
        struct Scratch {
            TAdsDataSet* dataSet;
            db::TRecordBuffer buffer;
            db::TRecordBuffer previousFilterBuffer;
            db::TDataSetState previousState;
            ~Scratch() {
                dataSet->RestoreState(previousState);
                dataSet->SetFilterBuffer(previousFilterBuffer);
                dataSet->FreeRecordBuffer(buffer);
            }
        } scratch{this, AllocRecordBuffer(), FilterBuffer(), SetTempState(db::dsFilter)};
        SetFilterBuffer(scratch.buffer);
        InternalInitRecord(scratch.buffer);
        for (size_t i = 0; i < fields.size(); ++i) {
            db::TField* field = fields[i];
            std::visit(
                [field](const auto& v) {
                    using V = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<V, std::monostate>)
                        field->Clear();
                    else if constexpr (std::is_same_v<V, std::string>)
                        field->SetAsString(v);
                    else if constexpr (std::is_same_v<V, int>)
                        field->SetAsInteger(v);
                    else if constexpr (std::is_same_v<V, double>)
                        field->SetAsFloat(v);
                    else
                        field->SetAsBoolean(v);
                },
                values[i]);
        }
        CursorPosChanged();
        const ADSHANDLE index = options.CaseInsensitive ? 0 : searchIndex(fields);
        found = index ? seekOnIndex(index, fields, scratch.buffer, options.PartialKey)
                      : searchByFilter(fields, options);
    }
    if (!found) {
        UNSIGNED32 result = AdsGotoBookmark(tableHandle_, remembered);
        if (result != AE_NO_SUCH_RECORD) Check(result);
        return false;
    }
    Resync(db::rmExact | db::rmCenter);
    if (AfterScroll) AfterScroll(this);
    return true;
}

}  // namespace ads
