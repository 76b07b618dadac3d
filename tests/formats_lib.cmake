# The formats coded through libjpeg, libpng and libtiff, and their commands.
add_library(lib_fixtures STATIC formats/lib_fixtures.cpp)
target_link_libraries(lib_fixtures PUBLIC test_support)

lumenvex_test(jpeg_tests formats/jpeg_test.cpp)
target_link_libraries(jpeg_tests PRIVATE lib_fixtures)

lumenvex_test(png_tests formats/png_test.cpp)
target_link_libraries(png_tests PRIVATE lib_fixtures ZLIB::ZLIB)

lumenvex_test(tiff_tests formats/tiff_test.cpp)
target_link_libraries(tiff_tests PRIVATE lib_fixtures)

lumenvex_test(jpeg_png_tiff_command_tests convert/jpeg_png_tiff_commands_test.cpp)
target_link_libraries(jpeg_png_tiff_command_tests PRIVATE lib_fixtures)

lumenvex_test(writer_checksum_tests formats/writer_checksums_test.cpp)
target_link_libraries(writer_checksum_tests PRIVATE lib_fixtures)
