#include "color/PatchesTable.h"

#include <vector>

#include "color/PatchPixelIterator.h"
#include "color/ProfileManager.h"
#include "platform/Log.h"

namespace {

// The patch index of every pixel along one axis (the patch count in margins and gaps).
std::vector<int32_t> patchesAlong(uint64_t length, int32_t patches) {
    std::vector<int32_t> index(length, patches);
    auto it = PatchPixelIterator::create(length, patches);
    for (uint64_t i = 0; it && i < length; ++i, it->nextPixel())
        index[i] = it->thisPatch();
    return index;
}

CIImageTable::Profile chartProfile(const CIImageTable::Profile& given) {
    if (given) return given;
    auto& manager = ProfileManager::sharedManager();
    auto listed = manager.findMatchingProfile("ProPhoto");
    return listed ? listed : manager.getProPhotoProfile();
}

} // namespace

// GretagMacbeth ColorChecker 24 reference data sheet (X-Rite/Gretag Macbeth, D50, 2 degree
// observer), CIE L*a*b* of patches A01 to D06; then a neutral surround of L* 15.
const std::array<std::array<float, 3>, PatchesTable::kEntries>& PatchesTable::gretagLab() {
    static const std::array<std::array<float, 3>, kEntries> lab = {{
        {37.99f, 13.56f, 14.06f},  {65.71f, 18.13f, 17.81f},  {49.93f, -4.88f, -21.93f},
        {43.14f, -13.10f, 21.91f}, {55.11f, 8.84f, -25.40f},  {70.72f, -33.40f, -0.20f},
        {62.66f, 36.07f, 57.10f},  {40.02f, 10.41f, -45.96f}, {51.12f, 48.24f, 16.25f},
        {30.33f, 22.98f, -21.59f}, {72.53f, -23.71f, 57.26f}, {71.94f, 19.36f, 67.86f},
        {28.78f, 14.18f, -50.30f}, {55.26f, -38.34f, 31.37f}, {42.10f, 53.38f, 28.19f},
        {81.73f, 4.04f, 79.82f},   {51.94f, 49.99f, -14.57f}, {51.04f, -28.63f, -28.64f},
        {96.54f, -0.43f, 1.19f},   {81.26f, -0.64f, -0.34f},  {66.77f, -0.73f, -0.50f},
        {50.87f, -0.15f, -0.27f},  {35.66f, -0.42f, -1.23f},  {20.46f, -0.08f, -0.97f},
        {15.0f, 0.0f, 0.0f},
    }};
    return lab;
}

PatchesTable::PatchesTable(double width, double height)
    : imageTable_(CIImageTable::createWithSizeAsImage(
          width, height, ProfileManager::sharedManager().getProPhotoPerceptualProfile(), true)) {}

void PatchesTable::setNumPatches(int32_t rows, int32_t cols) {
    if (rows < 1 || cols < 1) return;
    patchesRows_ = rows;
    patchesCols_ = cols;
}

platform::Image::Ptr PatchesTable::genImage() {
    return imageTable_->isValid() ? imageTable_->genImage() : nullptr;
}

int32_t PatchesTable::populateGretag(const CIImageTable::Profile& profile, float saturation) {
    auto colours = CIImageTable::createWithSizeAsTable(kEntries, 3, ColorSyncProfileWrap::createWithLAB());
    for (int i = 0; i < kEntries; ++i)
        colours->setElement3(0, uint64_t(i), gretagLab()[size_t(i)]);
    const CIImageTable::Profile target = chartProfile(profile);
    const int32_t status = colours->convertToColorSpace(target);
    if (status != 0) return status;
    imageTable_->setColorSpace(target);
    if (saturation < 0.99f || saturation > 1.01f)
        LV_LOG("ERROR: attempt populateGretag eith non-unity sturation value");
    if (!imageTable_->isValid()) return 0;

    const platform::Size size = imageTable_->getSize();
    const auto rowPatch = patchesAlong(uint64_t(size.height), patchesRows_);
    const auto colPatch = patchesAlong(uint64_t(size.width), patchesCols_);
    for (uint64_t r = 0; r < rowPatch.size(); ++r)
        for (uint64_t c = 0; c < colPatch.size(); ++c) {
            int32_t entry = kEntries - 1;
            if (rowPatch[r] < patchesRows_ && colPatch[c] < patchesCols_)
                entry = rowPatch[r] * patchesCols_ + colPatch[c];
            // A grid of more than 24 patches shows the surround where the chart has none.
            if (entry >= kEntries - 1) entry = kEntries - 1;
            const float* v = colours->getValues(uint64_t(entry), 0);
            imageTable_->setElement3(r, c, {v[0], v[1], v[2]});
        }
    return 0;
}
