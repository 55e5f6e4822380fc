#include "engine/raw_key.h"

#include <cstring>

#include "engine/last_error.h"

namespace engine {

namespace {
constexpr uint8_t kMarker = 0xB7;

UNSIGNED32 badKey(const IndexDef& index) {
    return fail(AE_INVALID_ARGUMENT, "The key given is not a key of index tag " + index.name + ".");
}
}  // namespace

std::string encodeRawKey(const std::vector<KeySegment>& segments) {
    size_t count = segments.size();
    while (count > 0 && !segments[count - 1].given) --count;
    std::string key;
    key.push_back(static_cast<char>(kMarker));
    key.push_back(static_cast<char>(count));
    for (size_t i = 0; i < count; ++i) {
        const KeySegment& s = segments[i];
        key.push_back(static_cast<char>((s.given ? 1 : 0) | (s.partial ? 2 : 0)));
        key.push_back(static_cast<char>(s.bytes.size()));
        key += s.bytes;
    }
    return key;
}

UNSIGNED32 decodeRawKey(const uint8_t* key, size_t length, const Schema& schema,
                        const IndexDef& index, std::vector<KeySegment>& out) {
    out.assign(index.segments.size(), KeySegment{});
    if (!key || length < 2 || key[0] != kMarker || key[1] > index.segments.size())
        return badKey(index);
    size_t at = 2;
    for (size_t i = 0; i < key[1]; ++i) {
        if (at + 2 > length) return badKey(index);
        uint8_t flags = key[at];
        size_t size = key[at + 1];
        at += 2;
        if (at + size > length || size > schema.fields[index.segments[i]].length)
            return badKey(index);
        out[i].given = flags & 1;
        out[i].partial = flags & 2;
        out[i].bytes.assign(reinterpret_cast<const char*>(key + at), size);
        at += size;
    }
    if (at != length) return badKey(index);
    return AE_SUCCESS;
}

UNSIGNED32 stringKey(const uint8_t* key, size_t length, const Schema& schema, const IndexDef& index,
                     image::CodePage page, std::vector<KeySegment>& out) {
    out.assign(index.segments.size(), KeySegment{});
    const FieldDef& field = schema.fields[index.segments[0]];
    std::string_view text(
        reinterpret_cast<const char*>(key ? key : reinterpret_cast<const uint8_t*>("")), length);
    if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    KeySegment& s = out[0];
    s.given = true;
    if (field.isText()) {
        std::string converted = codepage::convert(text, image::CodePage::Ansi1252, page);
        if (converted.size() >= field.length) {
            converted.resize(field.length);
        } else {
            s.partial = true;
        }
        s.bytes = converted;
        return AE_SUCCESS;
    }
    Value value;
    if (UNSIGNED32 rc = image::fromText(field, text, value)) return rc;
    s.bytes.assign(field.length, '\0');
    image::write(field, value, page, reinterpret_cast<uint8_t*>(s.bytes.data()));
    return AE_SUCCESS;
}

UNSIGNED32 doubleKey(const uint8_t* key, size_t length, const Schema& schema, const IndexDef& index,
                     std::vector<KeySegment>& out) {
    out.assign(index.segments.size(), KeySegment{});
    const FieldDef& field = schema.fields[index.segments[0]];
    if (!key || length < sizeof(double))
        return fail(AE_INVALID_ARGUMENT,
                    "A double key needs 8 bytes for index tag " + index.name + ".");
    double v;
    std::memcpy(&v, key, sizeof v);
    Value value;
    switch (field.storage()) {
        case ColumnClass::Integer:
            value = Value::ofInteger(static_cast<int64_t>(v));
            break;
        case ColumnClass::Real:
            value = Value::ofReal(v);
            break;
        default:
            return fail(AE_COLUMN_WRONG_TYPE, "Column \"" + field.name +
                                                  "\" is not numeric; index tag " + index.name +
                                                  " takes no double key.");
    }
    out[0].given = true;
    out[0].bytes.assign(field.length, '\0');
    image::write(field, value, image::CodePage::Ansi1252,
                 reinterpret_cast<uint8_t*>(out[0].bytes.data()));
    return AE_SUCCESS;
}

UNSIGNED32 keyValues(const Schema& schema, const IndexDef& index,
                     const std::vector<KeySegment>& segments, image::CodePage page,
                     KeyValues& out) {
    out = KeyValues{};
    size_t count = segments.size();
    while (count > 0 && !segments[count - 1].given) --count;
    for (size_t i = 0; i < count; ++i) {
        const FieldDef& field = schema.fields[index.segments[i]];
        const KeySegment& s = segments[i];
        Value value;
        if (s.given) {
            if (UNSIGNED32 rc = image::read(field, reinterpret_cast<const uint8_t*>(s.bytes.data()),
                                            s.bytes.size(), page, value))
                return rc;
        }
        bool last = i + 1 == count;
        if (last && s.partial && field.isText()) {
            out.lastPartial = true;
            if (value.isNull()) value = Value::ofText("");
        }
        out.values.push_back(image::keyForm(field, value));
    }
    return AE_SUCCESS;
}

}  // namespace engine
