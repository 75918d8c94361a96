#pragma once
// The filters that can be made by name. The built-in filters are registered on first use;
// other filters register themselves before they are first made.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ImageFilter.h"

namespace platform {

namespace filter_category {
inline constexpr const char* kColorAdjustment = "CICategoryColorAdjustment";
inline constexpr const char* kGeometryAdjustment = "CICategoryGeometryAdjustment";
inline constexpr const char* kReduction = "CICategoryReduction";
inline constexpr const char* kVideo = "CICategoryVideo";
inline constexpr const char* kStillImage = "CICategoryStillImage";
inline constexpr const char* kInterlaced = "CICategoryInterlaced";
inline constexpr const char* kNonSquarePixels = "CICategoryNonSquarePixels";
inline constexpr const char* kBuiltIn = "CICategoryBuiltIn";

// `kind` with the categories of a filter that works on any still or video frame.
inline std::vector<std::string> anyFrame(const char* kind) {
    return {kind, kVideo, kStillImage, kInterlaced, kNonSquarePixels};
}
} // namespace filter_category

class FilterRegistry {
  public:
    using Factory = std::function<std::shared_ptr<ImageFilter>()>;
    struct Entry {
        std::string name;
        std::string displayName;
        std::vector<std::string> categories;
        Factory make;
    };

    static FilterRegistry& shared();

    // The first registration of a name holds; false for a later one.
    bool registerFilter(Entry entry);
    template <class Filter>
    bool registerClass(const char* name, const char* displayName, std::vector<std::string> categories) {
        return registerFilter(
            {name, displayName, std::move(categories), [] { return std::make_shared<Filter>(); }});
    }
    std::shared_ptr<ImageFilter> filterWithName(std::string_view name) const;
    // Null for a name nobody registered.
    const Entry* find(std::string_view name) const;
    std::vector<std::string> filterNamesInCategory(std::string_view category) const;

  private:
    FilterRegistry() = default;
    void registerBuiltIns();

    mutable std::mutex lock_;
    std::map<std::string, Entry, std::less<>> entries_; // entries are never removed
};

} // namespace platform
