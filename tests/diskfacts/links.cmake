target_link_libraries(${target} PRIVATE tessaly_diskfacts)
