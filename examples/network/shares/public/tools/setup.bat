@echo off
echo setting up
