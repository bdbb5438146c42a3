#include "tests/platform/media/video_proc_amp_conformance.h"

#include <vector>

#include "platform/media/mf_constants.h"

namespace tovrel::platform::testing {

void VideoProcAmpConformance::SetUp() {
    backend = GetParam().make();
    ASSERT_TRUE(backend);
    ASSERT_NE(backend->source().videoProcAmp(), nullptr);
}

void VideoProcAmpConformance::TearDown() {
    if (backend) backend->source().Shutdown();
    backend.reset();
}

namespace {

constexpr int32_t kProperties = 5;

struct Range {
    int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
};

}  // namespace

TEST_P(VideoProcAmpConformance, EachPropertyHasAWellFormedRangeOrIsUnsupportedThroughout) {
    int supported = 0;
    for (int32_t property = 0; property < kProperties; ++property) {
        SCOPED_TRACE(property);
        Range r;
        const HRESULT hr =
            amp().GetRange(property, &r.minimum, &r.maximum, &r.step, &r.defaultValue, &r.caps);
        int32_t value = 0, flags = 0;
        if (hr == E_PROP_ID_UNSUPPORTED) {
            EXPECT_EQ(amp().Get(property, &value, &flags), E_PROP_ID_UNSUPPORTED);
            EXPECT_EQ(amp().Set(property, 0, VideoProcAmp_Flags_Manual), E_PROP_ID_UNSUPPORTED);
            continue;
        }
        ASSERT_EQ(hr, S_OK);
        ++supported;
        EXPECT_LT(r.minimum, r.maximum);
        EXPECT_GE(r.defaultValue, r.minimum);
        EXPECT_LE(r.defaultValue, r.maximum);
        EXPECT_GE(r.step, 1);
        EXPECT_TRUE(r.caps & VideoProcAmp_Flags_Manual);
        ASSERT_EQ(amp().Get(property, &value, &flags), S_OK);
        EXPECT_GE(value, r.minimum);
        EXPECT_LE(value, r.maximum);
        EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
    }
    EXPECT_GE(supported, 1);

    Range r;
    int32_t value = 0, flags = 0;
    for (const int32_t unknown : {-1, kProperties}) {
        EXPECT_EQ(
            amp().GetRange(unknown, &r.minimum, &r.maximum, &r.step, &r.defaultValue, &r.caps),
            E_PROP_ID_UNSUPPORTED);
        EXPECT_EQ(amp().Get(unknown, &value, &flags), E_PROP_ID_UNSUPPORTED);
        EXPECT_EQ(amp().Set(unknown, 0, VideoProcAmp_Flags_Manual), E_PROP_ID_UNSUPPORTED);
    }
}

TEST_P(VideoProcAmpConformance, ValuesWithinTheRangeRoundTripAndOthersAreRefused) {
    for (int32_t property = 0; property < kProperties; ++property) {
        SCOPED_TRACE(property);
        Range r;
        if (amp().GetRange(property, &r.minimum, &r.maximum, &r.step, &r.defaultValue, &r.caps) !=
            S_OK)
            continue;
        int32_t value = 0, flags = 0;
        for (const int32_t wanted : {r.minimum, r.maximum, r.defaultValue}) {
            ASSERT_EQ(amp().Set(property, wanted, VideoProcAmp_Flags_Manual), S_OK) << wanted;
            ASSERT_EQ(amp().Get(property, &value, &flags), S_OK);
            EXPECT_EQ(value, wanted);
        }
        EXPECT_EQ(amp().Set(property, r.maximum + 1, VideoProcAmp_Flags_Manual), E_INVALIDARG);
        EXPECT_EQ(amp().Set(property, r.minimum - 1, VideoProcAmp_Flags_Manual), E_INVALIDARG);
        EXPECT_EQ(amp().Set(property, r.minimum, VideoProcAmp_Flags_Auto), E_INVALIDARG)
            << "automatic is not offered";
        ASSERT_EQ(amp().Get(property, &value, &flags), S_OK);
        EXPECT_EQ(value, r.defaultValue) << "a refused value leaves the last one";
    }
}

TEST_P(VideoProcAmpConformance, NullArgumentsAndAShutDownSourceAreRefused) {
    int32_t a = 0, b = 0, c = 0, d = 0, e = 0;
    EXPECT_EQ(amp().GetRange(VideoProcAmp_Brightness, nullptr, &b, &c, &d, &e), E_POINTER);
    EXPECT_EQ(amp().GetRange(VideoProcAmp_Brightness, &a, &b, &c, &d, nullptr), E_POINTER);
    EXPECT_EQ(amp().Get(VideoProcAmp_Brightness, nullptr, &b), E_POINTER);
    EXPECT_EQ(amp().Get(VideoProcAmp_Brightness, &a, nullptr), E_POINTER);

    // The controls stay reachable while the source lives, but a shut-down source answers none.
    VideoProcAmp& controls = amp();
    ASSERT_EQ(backend->source().Shutdown(), S_OK);
    for (int32_t property = 0; property < kProperties; ++property) {
        EXPECT_EQ(controls.GetRange(property, &a, &b, &c, &d, &e), MF_E_SHUTDOWN);
        EXPECT_EQ(controls.Get(property, &a, &b), MF_E_SHUTDOWN);
        EXPECT_EQ(controls.Set(property, 0, VideoProcAmp_Flags_Manual), MF_E_SHUTDOWN);
    }
}

}  // namespace tovrel::platform::testing
