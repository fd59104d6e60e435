# gtest_from_source.cmake: GoogleTest and GoogleMock in one library, from
# their single-file builds, for a build whose compiler cannot link the
# machine's own GoogleTest (a cross compiler, or -m32 beside a 64-bit
# package). It defines GTest::gtest and GTest::gmock; the caller adds a main.
set(VORLA_GTEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest's sources, built here with the build's own compiler")
find_package(Threads REQUIRED)
set(gtest_root ${VORLA_GTEST_SOURCE_DIR})
add_library(vorla_gtest STATIC ${gtest_root}/googletest/src/gtest-all.cc
                               ${gtest_root}/googlemock/src/gmock-all.cc)
target_include_directories(vorla_gtest SYSTEM
                           PUBLIC ${gtest_root}/googletest/include ${gtest_root}/googlemock/include
                           PRIVATE ${gtest_root}/googletest ${gtest_root}/googlemock)
target_link_libraries(vorla_gtest PUBLIC Threads::Threads)
add_library(GTest::gtest ALIAS vorla_gtest)
add_library(GTest::gmock ALIAS vorla_gtest)
