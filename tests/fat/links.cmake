add_dependencies(${target} TYParseMsgA)
