# The formats the library codes itself.
lumenvex_test(pcx_tests formats/pcx_test.cpp)
lumenvex_test(pnm_tests formats/pnm_test.cpp)
lumenvex_test(pic_tests formats/pic_test.cpp)
lumenvex_test(sgi_tests formats/sgi_test.cpp)
lumenvex_test(photocd_tests formats/photocd_test.cpp)
