target_link_libraries(${target} PRIVATE tessaly_cli_commands)
