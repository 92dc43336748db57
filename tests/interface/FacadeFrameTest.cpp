#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "interface/FacadeSupport.h"
#include "interface/Talvex.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::Detail::HeldEngine;
using Talvex::SDOCT::Algorithms::Detail::NaN2Repeat;

// Engine that records how many instances are alive, to check ownership.
struct CountingEngine {
  static int alive;
  int parameter = 0;
  CountingEngine() { ++alive; }
  ~CountingEngine() { --alive; }
};
int CountingEngine::alive = 0;

TEST(FacadeFrame, ExceptionOwnsItsMessageBeyondTheBufferItWasBuiltFrom) {
  // Engines build messages such as "IPP: <name>() failed." in a temporary string; the exception
  // must keep its own copy through being copied, thrown and caught as std::exception.
  std::unique_ptr<AlgorithmException> copy;
  {
    std::string text = std::string("IPP: ") + "ippsMean_32f" + "() failed.";
    const AlgorithmException original(text.c_str());
    text.assign(text.size(), 'x');  // the buffer is reused before anyone reads the message
    copy = std::make_unique<AlgorithmException>(original);
  }
  try {
    throw *copy;
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "IPP: ippsMean_32f() failed.");
  }
}

TEST(FacadeFrame, OperationBeforeInitializeThrowsTheFacadeMessage) {
  HeldEngine<CountingEngine> holder;
  try {
    holder.Require("Parameter initialization is missing.");
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "Parameter initialization is missing.");
  }
  EXPECT_EQ(CountingEngine::alive, 0);
}

TEST(FacadeFrame, InitializeReplacesTheEngineAndDisposeReleasesItOnce) {
  {
    HeldEngine<CountingEngine> holder;
    holder.Replace().parameter = 1;
    EXPECT_EQ(holder.Require("x").parameter, 1);
    holder.Replace();  // a second Initialize: the first engine and its parameters are gone
    EXPECT_EQ(CountingEngine::alive, 1);
    EXPECT_EQ(holder.Require("x").parameter, 0);
    holder.Release();
    holder.Release();
    EXPECT_EQ(CountingEngine::alive, 0);
    // Using a disposed facade reports the missing initialisation instead of crashing.
    EXPECT_THROW(holder.Require("Initialization is missing."), AlgorithmException);
    holder.Replace();
  }
  EXPECT_EQ(CountingEngine::alive, 0);  // the destructor released the last engine
}

TEST(FacadeFrame, NaN2RepeatFillsOnlyTheEndsOfEachBscan) {
  std::vector<float> layer = {-1, -1, 3,  -1, 5,  -1,  // gaps at both ends and inside
                              -1, -1, -1, -1, -1, -1,  // no value at all
                              7,  -1, -1, -1, -1, -1};
  NaN2Repeat(layer.data(), 3, 6);
  EXPECT_EQ(layer, (std::vector<float>{3, 3, 3, -1, 5, 5,       //
                                       -1, -1, -1, -1, -1, -1,  //
                                       7, 7, 7, 7, 7, 7}));
  std::vector<float> almost = {-1.0001f, -1, 2};  // only exactly -1 counts as missing
  NaN2Repeat(almost.data(), 1, 3);
  EXPECT_EQ(almost, (std::vector<float>{-1.0001f, -1, 2}));
}

}  // namespace
