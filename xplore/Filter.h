// The query form behind a list's filter named "Xplore": per field an equal,
// a low and a high value, each as the header popup hands it over, with its
// marks in front: "~" not equal (equal value only), "=" inclusive (low and
// high values), "^" compare without regard to case. The expression built
// from them quotes every value, so the list query binds the user's values
// as parameters and never splices them into SQL.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kr::xplore {

enum class FilterSlot { Equal, Low, High };

class XploreQuery {
public:
    // Sets one value of a field (a new value replaces the old one of that
    // slot). `text`: the field holds text (else a number: a date's day
    // number, a time, a count), which is compared as a number.
    void SetValue(std::string_view field, FilterSlot slot, std::string_view value, bool text);
    // Clears every value of every field.
    void Clear() { fields_.clear(); }
    bool Empty() const { return fields_.empty(); }
    // The value of a slot as handed over ("" when none).
    std::string Value(std::string_view field, FilterSlot slot) const;
    // The conditions of every field joined by AND; empty when none.
    std::string Expression() const;

private:
    struct Field {
        std::string name;
        bool text = true;
        bool has[3] = {false, false, false};
        std::string value[3];
    };
    std::vector<Field> fields_;
};

}  // namespace kr::xplore
