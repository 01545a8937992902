# pugixml, which reads packages' manifests: a CMake package found on
# CMAKE_PREFIX_PATH (scripts/deps-pugixml-source puts a static one for
# mingw and -m32 under build/deps) or the system's (Debian's
# libpugixml-dev). QUORVEL_PUGIXML is what the library links.
find_package(pugixml CONFIG REQUIRED)
set(QUORVEL_PUGIXML pugixml::pugixml)
message(STATUS "pugixml ${pugixml_VERSION} from ${pugixml_DIR}")
