#include <gtest/gtest.h>

#include <cstring>

#include "platform/media/attributes.h"
#include "platform/media/device_list_enumerator.h"
#include "platform/media/media_type.h"
#include "platform/media/mf_guids.h"
#include "platform/media/sample.h"
#include "platform/media/sample_pool.h"
#include "tests/platform/media/fake_media_source.h"

namespace tovrel::platform {
namespace {

TEST(Attributes, PackedPairsKeepWidthAndNumeratorInTheHighHalf) {
    MediaType type;
    ASSERT_EQ(MFSetAttributeSize(&type, MF_MT_FRAME_SIZE, 1920, 1080), S_OK);
    ASSERT_EQ(MFSetAttributeRatio(&type, MF_MT_FRAME_RATE, 30000, 1001), S_OK);
    uint64_t packed = 0;
    ASSERT_EQ(type.GetUINT64(MF_MT_FRAME_SIZE, &packed), S_OK);
    EXPECT_EQ(packed, (uint64_t{1920} << 32) | 1080);
    uint32_t numerator = 0, denominator = 0;
    ASSERT_EQ(MFGetAttributeRatio(&type, MF_MT_FRAME_RATE, &numerator, &denominator), S_OK);
    EXPECT_EQ(numerator, 30000u);
    EXPECT_EQ(denominator, 1001u);
}

TEST(Attributes, MissingAndMistypedKeysAnswerThePlatformsCodes) {
    Attributes store;
    uint32_t value = 7;
    EXPECT_EQ(store.GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &value), MF_E_ATTRIBUTENOTFOUND);
    store.SetUINT64(MF_MT_AUDIO_NUM_CHANNELS, 2);
    EXPECT_EQ(store.GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &value), MF_E_INVALIDTYPE);
    EXPECT_EQ(value, 7u);
    store.SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);  // replaces, does not add
    EXPECT_EQ(store.GetCount(), 1u);
    EXPECT_EQ(store.GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &value), S_OK);
    EXPECT_EQ(value, 2u);
}

TEST(Attributes, UnknownSlotsHandTheSameObjectBack) {
    Attributes store;
    auto object = std::make_shared<int>(42);
    store.SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, object);
    std::shared_ptr<int> back;
    ASSERT_EQ(store.GetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, &back), S_OK);
    EXPECT_EQ(back.get(), object.get());
}

TEST(MediaType, SubsetAndEqualityCompareValues) {
    MediaType partial;
    partial.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    const MediaType full = test::videoType(MFVideoFormat_YUY2, 640, 480, 30, 1);
    EXPECT_TRUE(partial.IsSubsetOf(full));
    EXPECT_FALSE(full.IsSubsetOf(partial));
    EXPECT_TRUE(full.IsEqual(test::videoType(MFVideoFormat_YUY2, 640, 480, 30, 1)));
    EXPECT_FALSE(full.IsEqual(test::videoType(MFVideoFormat_YUY2, 640, 480, 60, 1)));
    EXPECT_TRUE(full.IsVideo());
    EXPECT_TRUE(test::pcmType(48000, 2, 16).IsAudio());
    EXPECT_EQ(full.describe(), "YUY2 640x480 @30/1");
}

TEST(Sample, JoinsSeveralBuffersIntoOneContiguousView) {
    auto sample = test::bytesSample({1, 2, 3});
    auto second = test::bytesSample({4, 5});
    std::shared_ptr<MediaBuffer> part;
    second->GetBufferByIndex(0, &part);
    sample->AddBuffer(part);
    uint32_t total = 0;
    ASSERT_EQ(sample->GetTotalLength(&total), S_OK);
    EXPECT_EQ(total, 5u);
    std::shared_ptr<MediaBuffer> joined;
    ASSERT_EQ(sample->ConvertToContiguousBuffer(&joined), S_OK);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(joined->Lock(&data, nullptr, &length), S_OK);
    ASSERT_EQ(length, 5u);
    EXPECT_EQ(std::memcmp(data, "\1\2\3\4\5", 5), 0);
    joined->Unlock();
    uint32_t count = 0;
    sample->GetBufferCount(&count);
    EXPECT_EQ(count, 1u);
    int64_t time = -1;
    EXPECT_EQ(sample->GetSampleTime(&time), S_OK);
    int64_t duration = 0;
    EXPECT_EQ(sample->GetSampleDuration(&duration), MF_E_ATTRIBUTENOTFOUND);
}

TEST(MemoryBuffer, RefusesALengthBeyondItsCapacityAndUnbalancedUnlocks) {
    std::shared_ptr<MediaBuffer> buffer;
    ASSERT_EQ(MFCreateAlignedMemoryBuffer(100, 64, &buffer), S_OK);
    uint8_t* data = nullptr;
    uint32_t max = 0;
    buffer->Lock(&data, &max, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 64, 0u);
    EXPECT_EQ(max, 100u);
    EXPECT_EQ(buffer->Unlock(), S_OK);
    EXPECT_EQ(buffer->Unlock(), E_UNEXPECTED);
    EXPECT_EQ(buffer->SetCurrentLength(101), E_INVALIDARG);
}

TEST(SamplePool, RecyclesASampleOnlyOnceEveryConsumerLetGo) {
    SamplePool pool(64, 16, 2);
    auto first = pool.acquire();
    ASSERT_TRUE(first);
    SamplePool::bufferOf(first)->SetCurrentLength(10);
    first->SetSampleTime(5);
    std::shared_ptr<MediaBuffer> held;
    first->GetBufferByIndex(0, &held);
    const Sample* firstAddress = first.get();
    first.reset();
    auto second = pool.acquire();  // the first one's buffer is still held
    ASSERT_TRUE(second);
    EXPECT_NE(second.get(), firstAddress);
    EXPECT_FALSE(pool.acquire()) << "two samples at most";
    held.reset();
    second.reset();
    auto third = pool.acquire();
    ASSERT_TRUE(third);
    int64_t time = 0;
    EXPECT_EQ(third->GetSampleTime(&time), MF_E_ATTRIBUTENOTFOUND)
        << "a recycled sample starts empty";
    uint32_t length = 1;
    third->GetTotalLength(&length);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(pool.size(), 2u);
}

TEST(DeviceListEnumerator, ListsEachKindInOrderWithNamesAndActivations) {
    DeviceListEnumerator devices;
    int activations = 0;
    auto activation = [&](std::shared_ptr<MediaSource>* source) {
        ++activations;
        *source = std::make_shared<test::FakeMediaSource>(
            std::vector<std::vector<MediaType>>{{test::pcmType(48000, 2, 16)}});
        return S_OK;
    };
    devices.addDevice({DeviceListEnumerator::Kind::Audio, "Mic A", "a", activation, false});
    devices.addDevice({DeviceListEnumerator::Kind::Video, "Cam", "/dev/video0", activation, false});
    devices.addDevice({DeviceListEnumerator::Kind::Audio, "Mic B", "b", activation, true});

    Attributes audio;
    audio.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
    std::vector<std::unique_ptr<Activate>> list;
    ASSERT_EQ(MFEnumDeviceSources(devices, audio, &list), S_OK);
    ASSERT_EQ(list.size(), 2u);
    std::string name;
    EXPECT_EQ(list[0]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name), S_OK);
    EXPECT_EQ(name, "Mic A");
    EXPECT_EQ(list[1]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name),
              MF_E_ATTRIBUTENOTFOUND);
    std::shared_ptr<MediaSource> source;
    EXPECT_EQ(list[0]->ActivateObject(&source), S_OK);
    EXPECT_EQ(activations, 1);

    Attributes none;
    EXPECT_EQ(MFEnumDeviceSources(devices, none, &list), MF_E_ATTRIBUTENOTFOUND);
    devices.removeDevice("Cam");
    Attributes video;
    video.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
    ASSERT_EQ(MFEnumDeviceSources(devices, video, &list), S_OK);
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace tovrel::platform
