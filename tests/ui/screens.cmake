# The screens the windows are checked and drawn on: name, logical width and height, device pixel
# ratio. Every one is phone-sized (its windows fill it) but the desktop's 1024 x 768, where the
# windows keep the handheld's size and open over the window they were opened from. Each becomes
# an offscreen screen description in the build folder, named after it; the
# window tests and scripts/screenshot.sh start Qt on them. The offscreen platform takes the size
# in logical pixels and draws it "dpr" times larger (checked: a 320 x 240 screen at ratio 2 is
# 320 x 240 to the windows and 640 x 480 pixels in a picture).
set(VENDRIX_SCREEN_LIST
    "240x320 240 320 1" "320x240 320 240 1"
    "480x640 480 640 1" "640x480 640 480 1"
    "480x800 480 800 1" "800x480 800 480 1"
    "240x320@2x 240 320 2" "320x240@2x 320 240 2"
    "240x320@3x 240 320 3" "320x240@3x 320 240 3"
    "360x720 360 720 1" "720x360 720 360 1"
    "1024x768 1024 768 1")
set(VENDRIX_SCREEN_FILES "${CMAKE_BINARY_DIR}/screens")
set(VENDRIX_SCREENS "")
foreach(entry IN LISTS VENDRIX_SCREEN_LIST)
    string(REPLACE " " ";" fields "${entry}")
    list(GET fields 0 name)
    list(GET fields 1 width)
    list(GET fields 2 height)
    list(GET fields 3 ratio)
    file(WRITE "${VENDRIX_SCREEN_FILES}/${name}.json"
        "{\"screens\": [{\"name\": \"${name}\", \"x\": 0, \"y\": 0, \"width\": ${width}, "
        "\"height\": ${height}, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, "
        "\"dpr\": ${ratio}}]}\n")
    list(APPEND VENDRIX_SCREENS "${name}")
endforeach()

# One run of `test` per screen, named `test`_<screen>, with the GoogleTest filter given, if any.
function(vendrix_screen_runs test)
    foreach(screen IN LISTS VENDRIX_SCREENS)
        if(ARGC GREATER 1)
            add_test(NAME ${test}_${screen} COMMAND ${test} --gtest_filter=${ARGV1})
        else()
            add_test(NAME ${test}_${screen} COMMAND ${test})
        endif()
        set_tests_properties(${test}_${screen} PROPERTIES TIMEOUT 600 ENVIRONMENT
            "QT_QPA_PLATFORM=offscreen:configfile=${VENDRIX_SCREEN_FILES}/${screen}.json")
    endforeach()
endfunction()
