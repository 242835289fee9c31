// The automap's label list and automap_labels.tbl: reading a script's
// section, writing it back (replacing the old section, or adding one before
// "#End"), the 32-label list and the 31-character text.
#include "Orrimund/screens/automap_labels.h"

#include <gtest/gtest.h>

#include <string>

#include "Orrimund/screens/automap_screen.h"
#include "tools/writers/script_table_writers.h"

namespace {

AutomapLabelList parse(const std::string& text, const char* script, bool* found = nullptr) {
  AutomapLabelList list;
  const bool f = automap_labels_parse(text.data(), text.size(), script, &list);
  if (found) *found = f;
  return list;
}

}  // namespace

// Spelled out as the table is laid out: a header line, then per label four
// tab-indented lines and an empty one; sections end at the next "#Script:"
// and the table at "#End".
TEST(AutomapLabels, ReadsTheScriptsOwnSectionOfATableWrittenByHand) {
  const std::string text =
      "#Script: \"thalem1b\"\r\n"
      "\r\n"
      "\t$Label:\t\"Elsewhere\"\r\n\t$Type:\t\"Permanent\"\r\n\t$Pos:\t\t1.000000, 2.000000\r\n\t$Layer:\t0\r\n\r\n"
      "#Script: \"sewer\"\r\n"
      "\r\n"
      "\t$Label:\t\"Grate\"\r\n\t$Type:\t\"Permanent\"\r\n\t$Pos:\t\t-12.500000, 40.250000\r\n\t$Layer:\t1\r\n\r\n"
      "\t$Label:\t\"My spot\"\r\n\t$Type:\t\"Custom\"\r\n\t$Pos:\t\t3.0, -4.5\r\n\t$Layer:\t0\r\n\r\n"
      "#End\r\n";
  bool found = false;
  const AutomapLabelList l = parse(text, "sewer", &found);
  ASSERT_TRUE(found);
  ASSERT_EQ(l.count, 2);
  EXPECT_STREQ(l.labels[0].text, "Grate");
  EXPECT_EQ(l.labels[0].type, AUTOMAP_LABEL_PERMANENT);
  EXPECT_FLOAT_EQ(l.labels[0].x, -12.5f);
  EXPECT_FLOAT_EQ(l.labels[0].z, 40.25f);
  EXPECT_EQ(l.labels[0].layer, 1);
  EXPECT_STREQ(l.labels[1].text, "My spot");
  EXPECT_EQ(l.labels[1].type, AUTOMAP_LABEL_CUSTOM);
  EXPECT_FLOAT_EQ(l.labels[1].z, -4.5f);
  // Bare line feeds read alike.
  std::string lf = text;
  for (size_t p; (p = lf.find('\r')) != std::string::npos;) lf.erase(p, 1);
  EXPECT_EQ(parse(lf, "sewer").count, 2);
}

TEST(AutomapLabels, MissingSectionsCutLabelsAndLongTextsGiveWhatTheyCan) {
  bool found = true;
  // A section after "#End" is not searched for.
  EXPECT_EQ(parse("#End\r\n#Script: \"sewer\"\r\n\t$Label:\t\"x\"\r\n", "sewer", &found).count, 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(parse("", "sewer", &found).count, 0);
  EXPECT_FALSE(found);
  // A label cut short ends the reading; the ones before it stay.
  const std::string cut =
      "#Script: \"sewer\"\r\n\t$Label:\t\"One\"\r\n\t$Type:\t\"Permanent\"\r\n\t$Pos:\t\t1, 2\r\n\t$Layer:\t0\r\n"
      "\t$Label:\t\"Two\"\r\n\t$Type:\t\"Permanent\"\r\n\t$Pos:\t\t1\r\n";
  const AutomapLabelList l = parse(cut, "sewer", &found);
  EXPECT_TRUE(found);
  ASSERT_EQ(l.count, 1);
  EXPECT_STREQ(l.labels[0].text, "One");
  // A text longer than 31 characters is cut to 31.
  const std::string longer = "#Script: \"sewer\"\r\n\t$Label:\t\"" + std::string(40, 'a') +
                             "\"\r\n\t$Type:\t\"Permanent\"\r\n\t$Pos:\t\t1, 2\r\n\t$Layer:\t0\r\n#End\r\n";
  EXPECT_EQ(std::string(parse(longer, "sewer").labels[0].text), std::string(31, 'a'));
  // No more than 32 are read.
  std::vector<AutomapLabelSpec> many(40, AutomapLabelSpec{"x", "Permanent", 1, 2, 0});
  EXPECT_EQ(parse(automap_labels_text({{"sewer", many}}), "sewer").count, AUTOMAP_MAX_LABELS);
}

TEST(AutomapLabels, RewritingReplacesTheSectionAndKeepsTheOthers) {
  const std::string table = automap_labels_text({{"thalem1b", {{"Gate", "Permanent", 1, 2, 0}}},
                                                 {"sewer", {{"Old", "Permanent", 5, 6, 0}}},
                                                 {"masad", {{"Well", "Permanent", 7, 8, 1}}}});
  AutomapLabelList list;
  AutomapMapLabel* a = automap_label_alloc(&list);
  automap_label_set_text(a, "New");
  a->x = 10.5f, a->z = -3.25f, a->layer = 2;
  AutomapMapLabel* c = automap_label_alloc(&list);
  automap_label_set_text(c, "Mine");
  c->type = AUTOMAP_LABEL_CUSTOM;
  const std::string out = automap_labels_rewrite(table.data(), table.size(), "sewer", list);
  EXPECT_NE(out.find("#Script: \"sewer\"\r\n\r\n\t$Label:\t\"New\"\r\n\t$Type:\t\"Permanent\"\r\n"
                     "\t$Pos:\t\t10.500000, -3.250000\r\n\t$Layer:\t2\r\n\r\n#Script: \"masad\""),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("\"Old\""), std::string::npos);
  EXPECT_EQ(out.find("Mine"), std::string::npos);  // the player's own stay in the save
  EXPECT_EQ(parse(out, "thalem1b").count, 1);
  EXPECT_EQ(parse(out, "masad").count, 1);
  EXPECT_EQ(out.substr(out.size() - 6), "#End\r\n");
  // The last section is followed by "#End" again.
  const std::string last = automap_labels_rewrite(table.data(), table.size(), "masad", list);
  EXPECT_EQ(parse(last, "masad").count, 1);
  EXPECT_STREQ(parse(last, "masad").labels[0].text, "New");
  EXPECT_EQ(last.substr(last.size() - 6), "#End\r\n");
}

TEST(AutomapLabels, ATableWithoutTheSectionGetsItBeforeEnd) {
  const std::string table = automap_labels_text({{"thalem1b", {{"Gate", "Permanent", 1, 2, 0}}}});
  AutomapLabelList list;
  automap_label_set_text(automap_label_alloc(&list), "Here");
  const std::string out = automap_labels_rewrite(table.data(), table.size(), "sewer", list);
  const size_t at = out.find("#Script: \"sewer\"");
  ASSERT_NE(at, std::string::npos);
  EXPECT_LT(out.find("\"Gate\""), at);
  EXPECT_EQ(out.find("#End"), out.size() - 6);
  EXPECT_STREQ(parse(out, "sewer").labels[0].text, "Here");
  EXPECT_EQ(parse(out, "thalem1b").count, 1);
}

TEST(AutomapLabels, TheListHoldsThirtyTwoAndMovesLaterOnesDown) {
  AutomapLabelList list;
  for (int i = 0; i < AUTOMAP_MAX_LABELS; i++) {
    AutomapMapLabel* l = automap_label_alloc(&list);
    ASSERT_NE(l, nullptr);
    l->layer = i;
  }
  EXPECT_EQ(automap_label_alloc(&list), nullptr);
  automap_label_list_remove(&list, 3);
  EXPECT_EQ(list.count, 31);
  EXPECT_EQ(list.labels[3].layer, 4);
  EXPECT_EQ(list.labels[30].layer, 31);
  automap_label_list_remove(&list, 31);  // outside: nothing
  automap_label_list_remove(&list, -1);
  EXPECT_EQ(list.count, 31);
}

TEST(AutomapScreen, ResolutionFactors) {
  EXPECT_FLOAT_EQ(automap_resolution_factor(0), 1.0f);
  EXPECT_FLOAT_EQ(automap_resolution_factor(1), 1.25f);
  EXPECT_FLOAT_EQ(automap_resolution_factor(2), 1.6f);
  EXPECT_FLOAT_EQ(automap_resolution_factor(7), 1.0f);
}
