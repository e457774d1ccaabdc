// The preview's command line: what it accepts, and a clear message for what it does not.

#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using preview::ParseOptions;

TEST(PreviewOptions, AcceptsEveryOptionInBothSpellings) {
  const std::vector<std::string> separate{"--build",   "so",        "--ini",  "my.ini",  "--seconds", "12.5",
                                          "--pool",    "110",       "--hour", "23",      "--camera",  "1,-2.5,300",
                                          "--look-at", "0,0,100",   "--size", "640x480", "--output",  "out/p.png",
                                          "--animate", "out/p.gif", "--help"};
  const std::vector<std::string> joined{"--build=so",
                                        "--ini=my.ini",
                                        "--seconds=12.5",
                                        "--pool=110",
                                        "--hour=23",
                                        "--camera=1,-2.5,300",
                                        "--look-at=0,0,100",
                                        "--size=640x480",
                                        "--output=out/p.png",
                                        "--animate=out/p.gif",
                                        "-h"};
  for (const auto& arguments : {separate, joined}) {
    const auto parsed = ParseOptions(arguments);
    ASSERT_EQ(parsed.error, "");
    const preview::Options& o = parsed.options;
    EXPECT_EQ(o.build, simhost::PluginBuild::LinuxLibrary);
    EXPECT_EQ(o.ini, "my.ini");
    EXPECT_EQ(o.seconds, 12.5f);
    EXPECT_EQ(o.pool, 110);
    EXPECT_EQ(o.hour, 23);
    ASSERT_TRUE(o.camera.has_value());
    EXPECT_EQ(o.camera->x, 1.0f);
    EXPECT_EQ(o.camera->y, -2.5f);
    EXPECT_EQ(o.camera->z, 300.0f);
    ASSERT_TRUE(o.lookAt.has_value());
    EXPECT_EQ(o.lookAt->z, 100.0f);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_EQ(o.output, "out/p.png");
    EXPECT_EQ(o.animation, "out/p.gif");
    EXPECT_TRUE(o.help);
  }
  // No hour given: the program picks one that shows what the settings turn on.
  const preview::Options defaults = ParseOptions({}).options;
  EXPECT_FALSE(defaults.hour.has_value());
  EXPECT_FALSE(defaults.animation.has_value());
  EXPECT_FALSE(defaults.pool.has_value());
}

TEST(PreviewOptions, RejectsWhatItCannotUseWithAMessageThatSaysWhy) {
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  };
  const Case cases[] = {
      {{"--colour", "red"}, "unknown option --colour"},
      {{"--colour"}, "unknown option --colour"},
      {{"--seconds", "5", "--colour=red"}, "unknown option --colour"},
      {{"--animate="}, "bad value '' for --animate: expected a file name"},
      {{"picture.png"}, "unexpected argument 'picture.png'"},
      {{"--"}, "unexpected argument '--'"},
      {{"--output"}, "--output needs a value"},
      {{"--build", "exe"}, "bad value 'exe' for --build: expected dll or so"},
      {{"--build=DLL"}, "bad value 'DLL' for --build"},
      {{"--ini="}, "bad value '' for --ini: expected a file name"},
      {{"--seconds", "0"}, "bad value '0' for --seconds: expected seconds above 0, at most 3600"},
      {{"--seconds", "-5"}, "bad value '-5' for --seconds"},
      {{"--seconds", "3601"}, "bad value '3601' for --seconds"},
      {{"--seconds", "nan"}, "bad value 'nan' for --seconds"},
      {{"--seconds", "inf"}, "bad value 'inf' for --seconds"},
      {{"--seconds", "40s"}, "bad value '40s' for --seconds"},
      {{"--pool", "19"}, "bad value '19' for --pool: expected a number of entries from 20 to 1000"},
      {{"--pool", "1001"}, "bad value '1001' for --pool"},
      {{"--pool", "110.5"}, "bad value '110.5' for --pool"},
      {{"--hour", "24"}, "bad value '24' for --hour: expected an hour from 0 to 23"},
      {{"--hour", "-1"}, "bad value '-1' for --hour"},
      {{"--hour", "7.5"}, "bad value '7.5' for --hour"},
      {{"--camera", "1,2"}, "bad value '1,2' for --camera: expected x,y,z"},
      {{"--camera", "1,2,3,4"}, "bad value '1,2,3,4' for --camera"},
      {{"--camera", "1,,3"}, "bad value '1,,3' for --camera"},
      {{"--look-at", "1e99,0,0"}, "bad value '1e99,0,0' for --look-at"},
      {{"--size", "640"}, "bad value '640' for --size: expected WxH, each from 16 to 4096"},
      {{"--size", "15x100"}, "bad value '15x100' for --size"},
      {{"--size", "100x4097"}, "bad value '100x4097' for --size"},
      {{"--size", "640x480x2"}, "bad value '640x480x2' for --size"},
      {{"--camera", "5,5,5", "--look-at", "5,5,5"}, "--camera and --look-at are the same point"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[0]);
    const auto parsed = ParseOptions(c.arguments);
    EXPECT_NE(parsed.error.find(c.message), std::string::npos) << parsed.error;
  }
}

}  // namespace
