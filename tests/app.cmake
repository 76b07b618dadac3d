# The converter window: its logic through a scripted toolkit, and the real Qt window offscreen.
if(TARGET lumenvex_app)
  lumenvex_test(app_logic_tests
    app/fake_toolkit.cpp
    app/converter_window_test.cpp
    app/support_test.cpp
  )
  target_link_libraries(app_logic_tests PRIVATE lumenvex_app)
  target_compile_definitions(app_logic_tests PRIVATE LUMENVEX_PROGRAM="$<TARGET_FILE:lumenvex>")
  add_dependencies(app_logic_tests lumenvex)
endif()
if(TARGET lumenvex_qt)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  lumenvex_test(app_qt_tests app/qt_window_test.cpp)
  target_link_libraries(app_qt_tests PRIVATE lumenvex_qt Qt6::Test)
endif()
