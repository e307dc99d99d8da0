# The E01 tests write a set with sectors that could not be acquired through libewf itself.
if(TARGET PkgConfig::LIBEWF)
  target_link_libraries(${target} PRIVATE PkgConfig::LIBEWF)
  target_compile_definitions(${target} PRIVATE TESSALY_HAVE_LIBEWF)
endif()
