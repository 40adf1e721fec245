// The whole public API in one include: the codec's (see codec.hpp) and the account's: the blocking account
// API, the asynchronous facade with its backend account, the hub client's types and the scanner view.
#pragma once

#include <vexaqr/codec.hpp>
#include <vexaqr/hub/NotificationHub.hpp>
#include <vexaqr/sdk/VexaQrSDK.hpp>
#include <vexaqr/sync/Account.hpp>
#include <vexaqr/views/VXAScannerView.hpp>
