// FaultGuard: runs one operation against the devserver with one fault switched on, for every fault kind the
// devserver has, and holds each run to "either the right result, or a failure that says so".
//
//     test::GuardedOperation register{.name = "register", .endpoints = {{"/registerclient", {"vxaUserId"}}},
//                                     .prepare = ..., .run = ..., .verify = ...};
//     EXPECT_GT(test::runGuarded(server, register), 0);
//
// A run that exits 0 must pass `verify` (its work was done, checked with the faults cleared); any other run
// must exit 1 with something on its output that says why. A crash, a usage status or a silent failure fails
// the case, and so does a success whose work is missing. Not thread-safe: one test thread.
#pragma once

#include "DevServer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace vexaqr::test {

/// How a guarded operation ended: its exit status and what it printed.
struct GuardedRun {
    int exitCode = -1;
    std::string out;
};

/// One misbehaviour of the devserver: the arguments after `fault --endpoint PATH`.
struct GuardedFault {
    std::string name;
    std::vector<std::string> switchArgs;
};

/// An endpoint path the operation reaches, with the reply members a dropped-member fault can remove and whether
/// the reply promises data (then a bare success `{"result":0}` must not pass for the operation's work).
struct GuardedEndpoint {
    std::string path;
    std::vector<std::string> members;
    bool promisesData = false;
    bool json = true; // the hub answers XML: the JSON-only kinds are left out there
    /// Kinds the protocol counts as an ordinary answer at this endpoint for this operation (each test says why).
    std::vector<std::string> ordinaryAnswers = {};
};

struct GuardedOperation {
    std::string name;
    std::vector<GuardedEndpoint> endpoints;
    /// Brings a fresh installation (the case number keeps data folders and e-mails apart) to the state the
    /// operation starts from; false when that failed (the case is then reported, not skipped).
    std::function<bool(int caseNumber)> prepare;
    std::function<GuardedRun(int caseNumber)> run;
    /// With the faults cleared: empty when the operation's work is there, else what is missing.
    std::function<std::string(int caseNumber, const GuardedRun&)> verify;
};

/// Every fault kind of the devserver, as it applies to `endpoint`.
inline std::vector<GuardedFault> faultKinds(const GuardedEndpoint& endpoint) {
    std::vector<GuardedFault> kinds = {
        {"status 500", {"--status", "500"}},
        {"status 404", {"--status", "404"}},
        {"empty body", {"--body", ""}},
        {"HTML body", {"--body", "<html><body>Bad gateway"}}, // cut short: neither JSON nor well-formed XML
    };
    std::erase_if(kinds, [&](const GuardedFault& kind) {
        return std::find(endpoint.ordinaryAnswers.begin(), endpoint.ordinaryAnswers.end(), kind.name) !=
               endpoint.ordinaryAnswers.end();
    });
    if (!endpoint.json)
        return kinds;
    kinds.push_back({"result code 14900", {"--result-code", "14900"}});
    kinds.push_back({"result code -999", {"--result-code", "-999"}});
    if (endpoint.promisesData)
        kinds.push_back({"bare success", {"--result-code", "0"}});
    kinds.push_back({"member result dropped", {"--drop-field", "result"}});
    for (const auto& member : endpoint.members)
        kinds.push_back({"member " + member + " dropped", {"--drop-field", member}});
    return kinds;
}

/// Runs `operation` once per endpoint and fault kind, each on a freshly prepared installation numbered from
/// `firstCase` on; the number of cases run.
inline int runGuarded(const DevServer& server, const GuardedOperation& operation, int firstCase = 1) {
    int caseNumber = firstCase - 1;
    for (const auto& endpoint : operation.endpoints) {
        for (const auto& fault : faultKinds(endpoint)) {
            ++caseNumber;
            const std::string label = operation.name + " with " + endpoint.path + " " + fault.name;
            SCOPED_TRACE(label);
            server.admin("fault", "--clear");
            if (!operation.prepare(caseNumber)) {
                ADD_FAILURE() << label << ": could not prepare the case";
                continue;
            }
            std::vector<std::string> args = {"fault", "--endpoint", endpoint.path};
            args.insert(args.end(), fault.switchArgs.begin(), fault.switchArgs.end());
            if (server.adminWith(args).exitCode != 0) {
                ADD_FAILURE() << label << ": the fault was not switched on";
                continue;
            }
            const GuardedRun run = operation.run(caseNumber);
            server.admin("fault", "--clear");
            if (run.exitCode == 0) {
                const std::string missing = operation.verify(caseNumber, run);
                EXPECT_EQ(missing, "") << label << ": reported success without its work\n" << run.out;
            } else {
                EXPECT_EQ(run.exitCode, 1) << label << ": neither a result nor a failure\n" << run.out;
                EXPECT_NE(run.out.find_first_not_of(" \n"), std::string::npos) << label << ": failed silently";
            }
        }
    }
    return caseNumber - firstCase + 1;
}

} // namespace vexaqr::test
