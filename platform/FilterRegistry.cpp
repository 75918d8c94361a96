#include "platform/FilterRegistry.h"

#include <algorithm>

#include "platform/AreaHistogramFilter.h"
#include "platform/AreaMaximumFilter.h"
#include "platform/CropFilter.h"
#include "platform/GammaAdjustFilter.h"

namespace platform {

FilterRegistry& FilterRegistry::shared() {
    static FilterRegistry* registry = [] {
        auto* r = new FilterRegistry(); // never freed: filters may be made until exit
        r->registerBuiltIns();
        return r;
    }();
    return *registry;
}

void FilterRegistry::registerBuiltIns() {
    using namespace filter_category;
    auto builtIn = [](std::vector<std::string> categories) {
        categories.push_back(kBuiltIn);
        return categories;
    };
    registerClass<GammaAdjustFilter>(GammaAdjustFilter::kName, "Gamma Adjust",
                                     builtIn(anyFrame(kColorAdjustment)));
    registerClass<AreaHistogramFilter>(AreaHistogramFilter::kName, "Area Histogram",
                                       builtIn({kReduction, kVideo, kStillImage}));
    registerClass<AreaMaximumFilter>(AreaMaximumFilter::kName, "Area Maximum",
                                     builtIn({kReduction, kVideo, kStillImage}));
    registerClass<CropFilter>(CropFilter::kName, "Crop", builtIn(anyFrame(kGeometryAdjustment)));
}

bool FilterRegistry::registerFilter(Entry entry) {
    std::scoped_lock guard(lock_);
    std::string name = entry.name;
    return entries_.emplace(std::move(name), std::move(entry)).second;
}

const FilterRegistry::Entry* FilterRegistry::find(std::string_view name) const {
    std::scoped_lock guard(lock_);
    const auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second;
}

std::shared_ptr<ImageFilter> FilterRegistry::filterWithName(std::string_view name) const {
    const Entry* entry = find(name);
    if (!entry || !entry->make) return nullptr;
    auto filter = entry->make();
    if (filter) filter->name_ = entry->name;
    return filter;
}

std::vector<std::string> FilterRegistry::filterNamesInCategory(std::string_view category) const {
    std::scoped_lock guard(lock_);
    std::vector<std::string> names;
    for (const auto& [name, entry] : entries_)
        if (std::find(entry.categories.begin(), entry.categories.end(), category) != entry.categories.end())
            names.push_back(name);
    return names;
}

} // namespace platform
