# The folders of the tree, bottom up, each one library under src/ and, where
# it has tests, one folder of tests under tests/. src/ and tests/ both walk
# these lists, so a new folder is named here once.
set(VELKOR_FOLDERS
    platform
    platform/headless
    platform/posix
    platform/linux
    disk
    meter
    link/serial
    link/connection
    link/hid
    decode
    chart
    record
    pipeline
    sim
    stats
    alarm
    logfiles/xml
    logfiles
    logfiles/sqlite
    logfiles/workbook
    logfiles/commands
    json
    outbox
    mqtt
    influx
    http
    cli
    metersim)
# The folders that need Qt Widgets or QtGui, built with VELKOR_BUILD_GUI.
set(VELKOR_GUI_FOLDERS
    platform/widgets
    chart/view
    record/view
    record/report
    record/report/preview
    stats/view
    app)

set(VELKOR_ALL_FOLDERS ${VELKOR_FOLDERS})
if(VELKOR_BUILD_GUI)
    list(APPEND VELKOR_ALL_FOLDERS ${VELKOR_GUI_FOLDERS})
endif()
