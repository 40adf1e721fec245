// `admin fault`: makes an endpoint misbehave, or clears every fault switch.
#include "AdminClient.hpp"
#include "DevServerRegistry.hpp"

#include <iostream>
#include <memory>

namespace vexaqr::devserver {

namespace {

struct FaultOptions {
    std::string endpoint;
    int status = 0;
    long long resultCode = 0;
    std::string body;
    std::string dropField;
    int times = 0;
    bool clear = false;
};

nlohmann::json requestFor(const FaultOptions& options, const CLI::App& command) {
    if (options.clear)
        return {{"clear", true}};
    nlohmann::json request{{"endpoint", options.endpoint}};
    if (command.count("--status"))
        request["status"] = options.status;
    if (command.count("--result-code"))
        request["resultCode"] = options.resultCode;
    if (command.count("--body"))
        request["body"] = options.body;
    if (command.count("--drop-field"))
        request["dropField"] = options.dropField;
    if (command.count("--times"))
        request["times"] = options.times;
    return request;
}

void install(CLI::App& admin, AdminClient& client, int& exitCode) {
    auto options = std::make_shared<FaultOptions>();
    auto* command = admin.add_subcommand(
        "fault", "Make an endpoint misbehave (or --clear all faults); the oldest matching fault applies");
    auto* clear = command->add_flag("--clear", options->clear, "Remove every fault");
    auto* endpoint = command->add_option("--endpoint", options->endpoint,
                                         "Path, full or below /api/v1/client; also matches /PATH/<id>");
    auto* status = command->add_option("--status", options->status, "Answer this HTTP status; no effect")
                       ->check(CLI::Range(100, 599));
    auto* code = command->add_option("--result-code", options->resultCode, "Answer {\"result\": N}; no effect");
    auto* body = command->add_option("--body", options->body, "Answer 200 with this raw body; no effect");
    auto* drop = command->add_option("--drop-field", options->dropField, "Carry out, then remove this member");
    command->add_option("--times", options->times, "Apply to the next N matching requests only (default: all)")
        ->check(CLI::PositiveNumber);
    clear->excludes(endpoint, status, code, body, drop);
    for (auto* action : {status, code, body, drop}) {
        action->needs(endpoint);
        for (auto* other : {status, code, body, drop})
            if (other != action)
                action->excludes(other);
    }
    command->callback([options, command, &client, &exitCode] {
        const auto actions = command->count("--status") + command->count("--result-code") + command->count("--body") +
                             command->count("--drop-field");
        if (!options->clear && actions != 1) {
            std::cerr << "vexaqr-devserver: fault needs --clear, or --endpoint with one of --status, "
                         "--result-code, --body, --drop-field\n";
            exitCode = 2;
            return;
        }
        postOrReport(client, "/admin/fault", requestFor(*options, *command), exitCode);
    });
}

const bool registered = registerAdminCommand(&install);

} // namespace

} // namespace vexaqr::devserver
