# The wizard's tests drive the real window: they link the wizard library, need the
# staged installation folder (diskfacts, the catalogue component, the pictures), and run
# on a virtual display of their own (test discovery runs without one).
target_link_libraries(${target} PRIVATE tessaly_wizard)
add_dependencies(${target} diskfacts TYParseMsgA tessaly)
target_compile_definitions(${target} PRIVATE
  TESSALY_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
set_target_properties(${target} PROPERTIES
  CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/with-display)
