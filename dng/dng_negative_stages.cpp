// The builds of the stage-2 and stage-3 images. The negative already holds every slot and
// setter they fill; the builds themselves land with the linearization and mosaic code.
#include "dng/dng_negative.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_tag_types.h"

bool dng_negative::NeedDefloatStage2(dng_host& host) const {
    constexpr uint32_t kVersion1_4 = 0x01040000;
    const uint32_t version = host.SaveDNGVersion();
    return fStage2Image && fStage2Image->PixelType() == ttFloat &&
           fRawImageStage > rawImageStagePostOpcode1 && version != 0 && version < kVersion1_4;
}

void dng_negative::DefloatStage2(dng_host&) { ThrowNotYetImplemented("dng_negative::DefloatStage2"); }

void dng_negative::BuildStage2Image(dng_host&) { ThrowNotYetImplemented("dng_negative::BuildStage2Image"); }

void dng_negative::BuildStage3Image(dng_host&, int32_t) {
    ThrowNotYetImplemented("dng_negative::BuildStage3Image");
}

void dng_negative::Linearize(dng_host&) { ThrowNotYetImplemented("dng_negative::Linearize"); }

void dng_negative::InterpolateStage3(dng_host&, int32_t, std::vector<dng_matrix>*) {
    ThrowNotYetImplemented("dng_negative::InterpolateStage3");
}

void dng_negative::MergeStage3(dng_host&, std::vector<dng_matrix>*) {
    ThrowNotYetImplemented("dng_negative::MergeStage3");
}

void dng_negative::DoBuildStage3(dng_host&, int32_t, std::vector<dng_matrix>*) {
    ThrowNotYetImplemented("dng_negative::DoBuildStage3");
}

void dng_negative::ResizeTransparencyMask(dng_host&, bool) {
    ThrowNotYetImplemented("dng_negative::ResizeTransparencyMask");
}

void dng_negative::ResizeDepthMap(dng_host&) { ThrowNotYetImplemented("dng_negative::ResizeDepthMap"); }
