# The embedded browser of the main window: the web view and the panel
# around it (buttons, address box, bookkeeping). Included from
# src/app/CMakeLists.txt after tessellon_app.
find_package(Qt6 REQUIRED COMPONENTS WebEngineWidgets)
add_library(tessellon_browser STATIC
  ${CMAKE_CURRENT_LIST_DIR}/WebBrowser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserWiring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserCookies.cpp
)
target_link_libraries(tessellon_browser PUBLIC tessellon_app tessellon_render Qt6::WebEngineWidgets)
