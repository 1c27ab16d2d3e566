"""The development catalog server's parts; tools/catalog_server.py runs them."""
