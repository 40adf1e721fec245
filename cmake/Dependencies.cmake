# Every dependency is a Debian package installed by scripts/install-deps.sh.
find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(CURL REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(LibXml2 REQUIRED)
find_package(ZXing REQUIRED)
find_package(PNG REQUIRED)
find_package(GIF REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET libqrencode)

if(VEXAQR_BUILD_TOOLS OR VEXAQR_BUILD_TESTS)
    find_package(CLI11 REQUIRED)
endif()
if(VEXAQR_BUILD_TESTS)
    find_package(GTest REQUIRED)
endif()
if(VEXAQR_BUILD_BENCH)
    find_package(benchmark REQUIRED)
endif()
if(VEXAQR_BUILD_TESTS OR VEXAQR_BUILD_BENCH)
    find_package(JPEG REQUIRED) # the camera simulation compresses its pictures like a phone camera
endif()

# Loopback HTTP servers: the devserver, the tests and the benchmarks; never linked into the library.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
