// The wizard's rules that need no window (the sector fields, the range Next accepts, the
// help pane's text), and the queue that carries workers' updates to the interface thread.
#include "wizard_fixture.h"

#include <limits>
#include <thread>

#include "wizard/rules.h"
#include "wizard/ui_queue.h"
#include "wizard/widgets.h"

namespace tessaly::wizard::test {
namespace {

TEST(SectorField, ReadsSignedThirtyTwoBitNumbersOnly) {
  EXPECT_EQ(parseSigned32("2048"), 2048);
  EXPECT_EQ(parseSigned32("  17"), 17);
  EXPECT_EQ(parseSigned32("-5"), -5);
  EXPECT_EQ(parseSigned32("2147483647"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(parseSigned32("-2147483648"), std::numeric_limits<std::int32_t>::min());
  for (const char* bad : {"", " ", "-", "12a", "1 2", "+3", "2147483648", "-2147483649",
                          "99999999999999999999"})
    EXPECT_FALSE(parseSigned32(bad).has_value()) << bad;
}

TEST(PartitionRange, TheEndFieldIsTheFirstSectorAfterTheRange) {
  auto check = [](int type, const char* start, const char* end) {
    return checkRange({type, start, end, false, 0});
  };
  auto refused = [](const RangeResult& r) { return r.refusal ? r.refusal->number : 0; };
  EXPECT_EQ(refused(check(kTypeNone, "0", "100")), 135);
  EXPECT_EQ(refused(check(kTypeNtfs, "x", "100")), 136);
  EXPECT_EQ(refused(check(kTypeNtfs, "0", "")), 137);
  EXPECT_EQ(refused(check(kTypeFat16, "100", "101")), 138);
  const RangeResult ok = check(kTypeFat16, "100", "102");
  EXPECT_FALSE(ok.refusal);
  EXPECT_EQ(ok.start, 100);
  EXPECT_EQ(ok.last, 101);
  // 0 stays 0 (not -1): no start of 0 or more is below it.
  EXPECT_EQ(refused(check(kTypeFat32, "0", "0")), 138);
  EXPECT_EQ(refused(check(kTypeFat32, "-10", "0")), 0);
}

TEST(PartitionRange, TheEntireDiskRunsFromZeroToItsLastSector) {
  RangeResult r = checkRange({kTypeFat32, "555", "ignored", true, 112640ull * 512});
  EXPECT_FALSE(r.refusal);
  EXPECT_EQ(r.start, 0);
  EXPECT_EQ(r.last, 112639);
  // 2^31 sectors or more read as a negative end: refused.
  r = checkRange({kTypeFat32, "0", "0", true, (std::uint64_t{1} << 31) * 512});
  ASSERT_TRUE(r.refusal);
  EXPECT_EQ(r.refusal->number, 138);
  EXPECT_EQ(r.refusal->english, "End sector should be bigger than start sector");
}

TEST(RawRange, TheEndIsReadFirstAndMustLieWithinTheDisk) {
  auto refusal = [](const char* start, const char* end) {
    const RawRangeResult r = checkRawRange({start, end, 1000});
    return r.refusal ? std::string(r.refusal->english) + (r.restoreEnd ? " (restored)" : "") : std::string("ok");
  };
  EXPECT_EQ(refusal("x", "y"), "Invalid End Sector (restored)");
  EXPECT_EQ(refusal("x", "900"), "Invalid Start Sector");
  EXPECT_EQ(refusal("900", "900"), "Start sector should be less than End sector");
  EXPECT_EQ(refusal("0", "1001"), "Invalid End Sector");
  EXPECT_EQ(refusal("-1", "10"), "Invalid Start Sector");
  const RawRangeResult whole = checkRawRange({" 0", "1000 ", 1000});
  EXPECT_FALSE(whole.refusal);
  EXPECT_EQ(whole.end, 1000u);
}

TEST(HelpPane, TextBlocksAreHeadedAndClosedAndSplitIntoLines) {
  const std::string text = helpText({"   one", "   two"});
  EXPECT_EQ(text, std::string(kHelpHeading) + "\r\r\n\r\r\n   one\r\r\n   two\r\r\n" + kHelpRule);
  EXPECT_EQ(helpLines(text),
            (std::vector<std::string>{kHelpHeading, "", "   one", "   two", kHelpRule}));
}

TEST_F(WizardTest, WorkerUpdatesArriveInOrderWithStaleCountersDropped) {
  wxEvtHandler target;
  std::vector<std::string> applied;
  UiQueue queue(target, [&](const UiOp& op) {
    if (op.kind == UiOp::Call)
      op.call();
    else
      applied.push_back(std::to_string(op.kind) + ":" + std::to_string(op.id) + ":" + op.text +
                        ":" + std::to_string(op.value));
  });
  std::thread worker([&] {
    for (int i = 1; i <= 500; ++i) queue.post({UiOp::Text, 1047, std::to_string(i), 0, {}});
    queue.post({UiOp::Show, 1065, "", 0, {}});
    for (int i = 1; i <= 100; ++i) queue.post({UiOp::Progress, 1046, "", i, {}});
    queue.post({UiOp::Call, 0, "", 0, [&] { applied.push_back("call"); }});
    // After a call nothing is moved ahead of it.
    queue.post({UiOp::Text, 1047, "after", 0, {}});
  });
  worker.join();
  EXPECT_TRUE(applied.empty());  // nothing lands on the worker's thread
  pump();
  EXPECT_EQ(applied, (std::vector<std::string>{"0:1047:500:0", "2:1065::0", "1:1046::100", "call",
                                               "0:1047:after:0"}));
  EXPECT_EQ(queue.pending(), 0u);
}

}  // namespace
}  // namespace tessaly::wizard::test
