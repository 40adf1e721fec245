# The installed headers of each library, under include/vexaqr/: what a host calls. Every other header lives
# beside its unit under src/ and is not installed. scripts/check-public-headers.sh keeps these lists closed:
# a listed header includes only the standard library and listed headers (the account's may include the codec's).
set(VEXAQR_CODEC_PUBLIC_HEADERS
    Bytes.hpp Error.hpp Outcome.hpp Uuid.hpp codec.hpp
    payload/KeyHandle.hpp payload/VXAData.hpp payload/VXADataTypes.hpp payload/VXADataWriter.hpp
    platform/MainQueue.hpp platform/RunLoop.hpp
    sync/Encoding.hpp sync/Failure.hpp sync/Keys.hpp sync/Receiver.hpp
    transport/Transport.hpp
    views/CameraSource.hpp views/Canvas.hpp views/Picture.hpp views/VXAPresenterView.hpp)
set(VEXAQR_ACCOUNT_PUBLIC_HEADERS
    vexaqr.hpp
    hub/HubRegistration.hpp hub/NotificationHub.hpp
    platform/HttpClient.hpp platform/Url.hpp
    sdk/Installation.hpp sdk/VexaQrSDK.hpp sdk/VexaQrSDKRegistrationState.hpp sdk/VxaMessage.hpp
    service/AccountTypes.hpp
    sync/Account.hpp
    views/VXAScannerView.hpp)
