# zarelin.dll: the module as the host loads it. Exports come out undecorated
# (--kill-at), and the C++ runtime is linked in so that only system DLLs are imported.
add_library(zarelin SHARED ${MODULE_SOURCES})
target_include_directories(zarelin PRIVATE include src src/platform/win32)
target_compile_definitions(zarelin PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX ZARELIN_BUILDING_MODULE)
target_link_libraries(zarelin PRIVATE mpr advapi32 user32)
target_link_options(zarelin PRIVATE -static-libgcc -static-libstdc++ -static -Wl,--kill-at)
set_target_properties(zarelin PROPERTIES PREFIX "" OUTPUT_NAME zarelin)

# The Windows test programs and the Windows benchmark, which load that zarelin.dll (under
# Wine on Linux), built beside it in the same tree.
option(ZARELIN_WINDOWS_TESTS "Build the Windows test and benchmark programs" OFF)
if(ZARELIN_WINDOWS_TESTS)
  add_subdirectory(tests/windows)
  add_subdirectory(bench/windows)
endif()
