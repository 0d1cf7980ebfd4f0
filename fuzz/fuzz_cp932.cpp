// Fuzz target: code page 932 conversion and the typed-text rules built on it.
#include <cstdlib>

#include "FuzzInput.h"
#include "Define/Cp932.h"
#include "store/TextRules.h"

using namespace solne;

namespace {
void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_cp932: %s\n", what);
        std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Bytes read as code page 932 write back and read again to the same text.
    std::string text, again, back;
    size_t bad = 0;
    if (Cp932ToUtf8(bytes, text, &bad)) {
        Require(IsValidUtf8(text), "decoded text is not UTF-8");
        Require(Utf8ToCp932(text, back), "decoded text does not encode");
        Require(Cp932ToUtf8(back, again) && again == text, "decode(encode(text)) differs");
    } else {
        Require(bad < size, "failure offset outside the input");
    }

    // UTF-8 text that encodes reads back as its normalized form, and the
    // normalized form is stable.
    if (IsValidUtf8(bytes)) {
        std::string normalized = NormalizeTyped(bytes);
        Require(NormalizeTyped(normalized) == normalized, "normalizing twice changes the text");
        std::string encoded, decoded;
        if (Utf8ToCp932(bytes, encoded)) {
            Require(Cp932ToUtf8(encoded, decoded), "encoded text does not decode");
            Require(decoded == normalized, "read-back differs from the normalized text");
        }
        // What the input rule accepts, the writer writes unquoted and unchanged.
        const std::pair<InputBox, FieldPlace> boxes[] = {
            {InputBox::UserId, FieldPlace::UserTxt},
            {InputBox::PassWord, FieldPlace::UserTxt},
            {InputBox::UserName, FieldPlace::NameLine},
            {InputBox::GroupName, FieldPlace::GroupTxt},
        };
        for (auto [box, place] : boxes) {
            if (!InputAllowed(box, normalized)) continue;
            std::string out, problem, readBack;
            Require(EncodeField(normalized, place, out, problem), "accepted input is refused by the writer");
            Require(Cp932ToUtf8(out, readBack) && readBack == normalized, "accepted input is not written as typed");
        }
    }
    return 0;
}
