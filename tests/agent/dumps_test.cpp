// Heap and object dumps on request: refusals, and reads that never go past
// the dump the VM delivered. (What a real VM's dumps give is checked end to end.)
#include <cstring>
#include <vector>

#include "agent/agent_fixture.h"
#include "agent/recording_handlers.h"

namespace {

std::vector<unsigned char> arrayRecord(uint32_t count, uint32_t classID, uint32_t firstElement) {
    std::vector<unsigned char> bytes = {JVMPI_GC_OBJ_ARRAY_DUMP, 0, 0, 0, 9};
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back((count >> shift) & 0xff);
    unsigned char word[4];
    memcpy(word, &classID, 4);
    bytes.insert(bytes.end(), word, word + 4);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t element = firstElement + i;
        memcpy(word, &element, 4);
        bytes.insert(bytes.end(), word, word + 4);
    }
    return bytes;
}

}  // namespace

class DumpTest : public AgentTest {
protected:
    ZVHandlerTable table = makeRecordingTable();
    std::vector<char> heap;
    std::vector<unsigned char> object;
    int deliveredLength = -1;  // object dump length to claim; -1: the vector's size

    void SetUp() override {
        AgentTest::SetUp();
        load();
        fake.onRequest = [this](jint type, void *) {
            JVMPI_Event event{};
            event.event_type = type | JVMPI_REQUESTED_EVENT;
            std::vector<char> copy(object.begin(), object.end());  // exactly sized: a read past it is caught
            if (type == JVMPI_EVENT_HEAP_DUMP) {
                event.u.heap_dump.begin = heap.data();
                event.u.heap_dump.end = heap.data() + heap.size();
            } else {
                event.u.object_dump.data = copy.empty() ? nullptr : copy.data();
                event.u.object_dump.data_len = deliveredLength >= 0 ? deliveredLength : static_cast<jint>(copy.size());
            }
            fake.send(event);
        };
    }
};

TEST_F(DumpTest, DumpsWithoutHandlersOrDataAreRefusedAndKeepNothing) {
    heap = {'a'};
    testing::internal::CaptureStderr();
    int length = -1, generation = -1;
    EXPECT_EQ(zviHeapDump(&length, &generation), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Should not happen. Invalid heap dump received\n");
    EXPECT_EQ(length, 0);
    // Object dumps likewise, and one delivered without data.
    object = arrayRecord(2, 1, 1);
    EXPECT_EQ(zviObjectArrayDescription(FakeID(9), nullptr, nullptr, nullptr, 4), 0);
    zviSetHandlers(&table);
    object.clear();
    deliveredLength = 64;
    EXPECT_EQ(zviObjectArrayDescription(FakeID(9), nullptr, nullptr, nullptr, 4), 0);
}

// Filled up to the maximum, never past the record nor past the data delivered.
TEST_F(DumpTest, ArrayDescriptionOnHotspotReportsCountAndFillsUpToMaximum) {
    zviSetHandlers(&table);
    setFlavor(ZV_VM_HOTSPOT);
    object = arrayRecord(5, 0xABCD, 100);
    deliveredLength = static_cast<int>(object.size()) + 500;  // the VM reports more than the record
    object.resize(object.size() + 500, 0xEE);
    uint32_t classID = 0, elements[8] = {};
    int32_t count = 0;
    EXPECT_EQ(zviObjectArrayDescription(FakeID(9), &classID, &count, elements, 2), 1);
    EXPECT_EQ(std::vector<uint32_t>({classID, uint32_t(count), elements[0], elements[1], elements[2]}),
              std::vector<uint32_t>({0xABCD, 5, 100, 101, 0}));
    object = arrayRecord(3, 1, 50);
    object[5] = 0x7f;  // the count now claims about two billion elements
    deliveredLength = -1;
    EXPECT_EQ(zviObjectArrayDescription(FakeID(9), nullptr, &count, elements, 8), 1);
    EXPECT_EQ(elements[2], 52u);
    EXPECT_EQ(elements[3], 0u);  // only the three delivered elements are copied
}
