# Warnings and sanitizers for the project's own targets.

if(VELMORA_SANITIZE)
    if(NOT VELMORA_SANITIZE MATCHES "^(address,undefined|undefined,address|address|undefined|thread)$")
        message(FATAL_ERROR "VELMORA_SANITIZE must be 'address,undefined' or 'thread', not '${VELMORA_SANITIZE}'")
    endif()
    add_compile_options(-fsanitize=${VELMORA_SANITIZE} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${VELMORA_SANITIZE})
    if(VELMORA_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
endif()

# Qt's headers are system headers here, so -Wall -Wextra speak only of our code.
if(MSVC)
    # The sources hold Chinese text in UTF-8 without a byte-order mark; without /utf-8 MSVC reads
    # them in the machine's code page and the literals arrive garbled.
    add_compile_options(/utf-8 /W4)
else()
    add_compile_options(-Wall -Wextra)
endif()

# velmora_wanted(<folder> <out-var>): whether VELMORA_COMPONENTS selects the folder.
function(velmora_wanted folder out)
    if(NOT VELMORA_COMPONENTS)
        set(${out} TRUE PARENT_SCOPE)
    elseif(folder IN_LIST VELMORA_COMPONENTS)
        set(${out} TRUE PARENT_SCOPE)
    else()
        set(${out} FALSE PARENT_SCOPE)
    endif()
endfunction()
