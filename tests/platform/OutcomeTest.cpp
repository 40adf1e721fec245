#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vexaqr {
namespace {

TEST(ErrorTest, HoldsAnErrorWhenItHasADomainOrACode) {
    struct Case {
        Error error;
        bool holds;
    };
    for (const auto& [error, holds] : {
             Case{Error{}, false},
             Case{Error{"", 0, "a message alone"}, false},
             Case{Error{"UserDefaults", 0, "a store with code 0"}, true},
             Case{Error{"", -1, ""}, true},
         }) {
        EXPECT_EQ(static_cast<bool>(error), holds) << "'" << error.domain << "' " << error.code;
    }
}

TEST(OutcomeTest, CarriesEitherTheValueOrTheFailure) {
    const Outcome<void, Error> succeeded;
    EXPECT_TRUE(succeeded);
    const Outcome<void, Error> failed(Error{"D", 7, "why"});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.failure(), (Error{"D", 7, ""}));
    EXPECT_EQ(failed.failure().message, "why");

    const Outcome<std::string, Error> text(std::string("value"));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "value");
    EXPECT_EQ(text->size(), 5u);
    const Outcome<std::string, Error> none(Error{"D", 1, ""});
    ASSERT_FALSE(none);
    EXPECT_EQ(none.failure().code, 1);
}

TEST(OutcomeTest, AMoveOnlyValueLeavesAResultThatGoesAway) {
    const auto make = [] { return Outcome<std::unique_ptr<int>, Error>(std::make_unique<int>(42)); };
    const std::unique_ptr<int> taken = make().value();
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, 42);
}

} // namespace
} // namespace vexaqr
