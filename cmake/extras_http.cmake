# The HTTPS tests put the test certificate authority into the Wine prefix's
# root store for a while, through CryptoAPI's certificate stores.
if(TARGET net_tests)
    target_link_libraries(net_tests PRIVATE crypt32)
endif()
