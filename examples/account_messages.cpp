// account-messages DATA_DIR [BASE_URL]: prints the messages of the active installation kept in DATA_DIR.
#include <vexaqr/vexaqr.hpp>

#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: account-messages DATA_DIR [BASE_URL]\n";
        return 2;
    }
    vexaqr::Account account({.dataDirectory = argv[1], .baseUrl = argc > 2 ? argv[2] : ""});
    const auto fetched = account.messages();
    if (!fetched) {
        std::cerr << fetched.failure().message << '\n';
        return 1;
    }
    for (const auto& each : fetched->messages)
        std::cout << *each.vxaMessageId << ": " << vexaqr::toString(*each.processedVxaData->actualVxaData) << '\n';
}
