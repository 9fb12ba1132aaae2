# make run [FILE=path]  builds what is missing and starts the viewer under Wine
# make test             builds what is missing and runs every test
# make build            builds the viewer and the tests only
.PHONY: run test build deps clean

run:
	scripts/run_viewer.sh "$(FILE)"

test:
	scripts/run_tests.sh

build: deps
	scripts/build.sh

deps:
	scripts/bootstrap.sh

clean:
	rm -rf build/cmake
